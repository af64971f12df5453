// Saving through a temporary file and rename: the file appears whole or not at all, an earlier
// file survives every failure (missing or read-only folder, a write failing half-way, fsync,
// rename), no temporary file is left behind, and permissions follow the umask, on each of the
// three ways a save can go.
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <csignal>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "io/SafeFile.h"
#include "support/FailingFileWriter.h"
#include "support/TempDir.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

using test::ReadFile;
using test::WriteFile;

Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = std::uint8_t(i * 7 + seed + (i >> 11));
    return data;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

// The three ways a save goes: an unnamed temporary file linked in place; a named one where the
// file system has no unnamed files; a named one after the unnamed one could not be linked (no
// /proc). Each must pass the same failure tests.
enum class SavePath { Unnamed, Named, LinkRefused };

class SafeSave : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_folder.path().empty()); }
    void ResetWriter() {
        m_writer = test::FailingFileWriter{};
        m_writer.noUnnamed = m_path == SavePath::Named;
        m_writer.refuseLink = m_path == SavePath::LinkRefused;
    }

    // An earlier file that every failing save must leave as it was.
    std::string Earlier() {
        const std::string path = m_folder / "texture.png";
        WriteFile(path, m_old);
        return path;
    }
    void ExpectEarlierIntact() {
        EXPECT_EQ(ReadFile(m_folder / "texture.png"), m_old);
        EXPECT_EQ(m_folder.Entries(), std::vector<std::string>{"texture.png"}) << "stray temporary file";
    }

    test::TempDir m_folder{"safefile-"};
    test::FailingFileWriter m_writer; // the system's calls, failing where a test asks, on this path
    const Bytes m_old = Pattern(1000, 99);
    // Five write calls: four whole pieces and a short one.
    const Bytes m_new = Pattern(4 * SafeFileWriteChunk + 5, 1);
    SavePath m_path = SavePath::Unnamed;
};

class SafeFile : public SafeSave, public ::testing::WithParamInterface<SavePath> {
protected:
    void SetUp() override {
        SafeSave::SetUp();
        m_path = GetParam();
        ResetWriter();
    }
};

TEST_P(SafeFile, NewFileGetsDataAndUmaskPermissions) {
    for (mode_t mask : {mode_t(022), mode_t(027)}) {
        const mode_t before = ::umask(mask);
        const std::string path = m_folder / ("new" + std::to_string(mask));
        std::string reason;
        const bool ok = SaveFileSafely(path, m_new, &reason, m_writer);
        ::umask(before);
        ASSERT_TRUE(ok) << reason;
        EXPECT_EQ(ReadFile(path), m_new);
        EXPECT_EQ(ModeOf(path), 0666 & ~mask);
    }
    EXPECT_EQ(m_folder.Entries(), (std::vector<std::string>{"new18", "new23"}));
    // A refused link costs the data written a second time, into the named file.
    EXPECT_EQ(m_writer.writeCalls, GetParam() == SavePath::LinkRefused ? 20 : 10);
}

TEST_P(SafeFile, ReplacesEarlierFileKeepingItsPermissions) {
    const std::string path = Earlier();
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(SaveFileSafely(path, m_new, nullptr, m_writer));
    EXPECT_EQ(ReadFile(path), m_new);
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(m_folder.Entries(), std::vector<std::string>{"texture.png"});
    // And an empty file replaces it too.
    ASSERT_TRUE(SaveFileSafely(path, Bytes{}, nullptr, m_writer));
    EXPECT_TRUE(ReadFile(path).empty());
}

TEST_P(SafeFile, WriteProtectedFileIsRefusedUnlessRoot) {
    const std::string path = Earlier();
    ::chmod(path.c_str(), 0444);
    std::string reason;
    const bool ok = SaveFileSafely(path, m_new, &reason, m_writer);
    if (::geteuid() == 0) {
        // Root may write any file, so the save goes through as opening it would.
        EXPECT_TRUE(ok) << reason;
        EXPECT_EQ(ReadFile(path), m_new);
        EXPECT_EQ(ModeOf(path), 0444u);
        return;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(reason, "Permission denied");
    ExpectEarlierIntact();
}

TEST_P(SafeFile, MissingFolderFails) {
    Earlier();
    std::string reason;
    EXPECT_FALSE(SaveFileSafely(m_folder / "missing/texture.png", m_new, &reason, m_writer));
    EXPECT_EQ(reason, "No such file or directory");
    ExpectEarlierIntact();
}

TEST_P(SafeFile, ReadOnlyFolderFails) {
    const std::string path = Earlier();
    std::string reason;
    if (::geteuid() != 0) {
        ::chmod(m_folder.path().c_str(), 0555);
        EXPECT_FALSE(SaveFileSafely(path, m_new, &reason, m_writer));
        ::chmod(m_folder.path().c_str(), 0755);
    } else {
        // Permissions do not stop root: the refusal to create the file is injected instead.
        m_writer.failCreate = true;
        m_writer.failErrno = EACCES;
        EXPECT_FALSE(SaveFileSafely(path, m_new, &reason, m_writer));
    }
    EXPECT_EQ(reason, "Permission denied");
    ExpectEarlierIntact();
}

TEST_P(SafeFile, WriteFailingAtAnyPieceLeavesEarlierFile) {
    const std::string path = Earlier();
    for (int before = 0; before < 5; ++before) {
        ResetWriter();
        m_writer.writesBeforeFailure = before;
        std::string reason;
        EXPECT_FALSE(SaveFileSafely(path, m_new, &reason, m_writer)) << before;
        EXPECT_EQ(reason, "No space left on device");
        EXPECT_EQ(m_writer.writeCalls, before + 1) << "the save goes on after a failed write";
        ExpectEarlierIntact();
    }
}

TEST_P(SafeFile, FsyncOrRenameFailureLeavesEarlierFile) {
    const std::string path = Earlier();
    for (bool fsyncFails : {true, false}) {
        ResetWriter();
        m_writer.failErrno = EIO;
        (fsyncFails ? m_writer.failFsync : m_writer.failRename) = true;
        std::string reason;
        EXPECT_FALSE(SaveFileSafely(path, m_new, &reason, m_writer));
        EXPECT_EQ(reason, "Input/output error");
        ExpectEarlierIntact();
    }
}

TEST_P(SafeFile, FolderInThePlaceOfTheFileFails) {
    const std::string path = m_folder / "texture.png";
    fs::create_directory(path);
    std::string reason;
    EXPECT_FALSE(SaveFileSafely(path, m_new, &reason, m_writer));
    EXPECT_EQ(reason, "Is a directory");
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(m_folder.Entries(), std::vector<std::string>{"texture.png"});
}

// The file a link leads to is written, through a chain of links, relative or absolute, and made
// when it does not exist yet; the links stay links.
TEST_P(SafeFile, SymbolicLinkIsFollowed) {
    const std::string path = Earlier();
    const std::string link = m_folder / "link.png";
    fs::create_symlink(path, link);
    fs::create_symlink("link.png", m_folder / "chain.png");
    for (const char* name : {"link.png", "chain.png"}) {
        ResetWriter();
        ASSERT_TRUE(SaveFileSafely(m_folder / name, m_new, nullptr, m_writer)) << name;
        EXPECT_EQ(ReadFile(path), m_new) << name;
        WriteFile(path, m_old);
    }
    fs::create_symlink("made.png", m_folder / "dangling.png");
    std::string reason;
    ASSERT_TRUE(SaveFileSafely(m_folder / "dangling.png", m_new, &reason, m_writer)) << reason;
    EXPECT_TRUE(fs::is_symlink(m_folder / "dangling.png"));
    EXPECT_EQ(ReadFile(m_folder / "made.png"), m_new);
    EXPECT_EQ(m_folder.Entries(),
              (std::vector<std::string>{"chain.png", "dangling.png", "link.png", "made.png", "texture.png"}));
}

TEST_P(SafeFile, LongestFileNameStillSaves) {
    const std::string name = std::string(251, 'n') + ".png"; // 255 bytes, the longest allowed
    std::string reason;
    ASSERT_TRUE(SaveFileSafely(m_folder / name, m_new, &reason, m_writer)) << reason;
    EXPECT_EQ(m_folder.Entries(), std::vector<std::string>{name});
}

std::string PathName(const ::testing::TestParamInfo<SavePath>& info) {
    return info.param == SavePath::Unnamed ? "Unnamed"
           : info.param == SavePath::Named ? "Named"
                                           : "LinkRefused";
}
INSTANTIATE_TEST_SUITE_P(Paths, SafeFile,
                         ::testing::Values(SavePath::Unnamed, SavePath::Named, SavePath::LinkRefused),
                         PathName);

// The system's calls, but the process kills itself on entering call number killAt (from 0, in
// call order), and the target file appears from elsewhere on entering fsync when asked.
class KillingFileWriter : public test::FailingFileWriter {
public:
    int killAt = -1;
    std::string appearsAtSync; // a file written here during the save

    int CreateUnnamed(const char* folder, mode_t mode) override {
        Step();
        return FailingFileWriter::CreateUnnamed(folder, mode);
    }
    int CreateTemporary(char* pathTemplate) override {
        Step();
        return FailingFileWriter::CreateTemporary(pathTemplate);
    }
    ssize_t Write(int fd, const void* data, std::size_t size) override {
        Step();
        return FailingFileWriter::Write(fd, data, size);
    }
    int Sync(int fd) override {
        Step();
        if (!appearsAtSync.empty()) WriteFile(appearsAtSync, Bytes{'x'});
        return FailingFileWriter::Sync(fd);
    }
    int LinkUnnamed(int fd, const char* path) override {
        Step();
        return FailingFileWriter::LinkUnnamed(fd, path);
    }
    int Rename(const char* from, const char* to) override {
        Step();
        return FailingFileWriter::Rename(from, to);
    }

private:
    void Step() {
        if (m_step++ == killAt) std::raise(SIGKILL);
    }
    int m_step = 0;
};

bool HasUnnamedFiles(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// Killed at any step up to the last link (create, five writes, fsync, the links), the save
// leaves the earlier file or the new one, or none when there was none, and never a temporary.
// Only the instant between linking the hidden name and renaming it over the earlier file would
// leave that name behind.
TEST_F(SafeSave, KilledSaveLeavesOldOrNewFileAndNoTemporary) {
    if (!HasUnnamedFiles(m_folder.path())) GTEST_SKIP() << "no O_TMPFILE in " << m_folder.path();
    const std::string path = m_folder / "texture.png";
    for (bool earlier : {true, false}) {
        // A new file is linked in place at step 7; an earlier one is replaced by linking a
        // hidden name at 8 and renaming it at 9.
        const int steps = earlier ? 9 : 8;
        for (int killAt = 0; killAt <= steps; ++killAt) {
            std::filesystem::remove(path);
            if (earlier) Earlier();
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                KillingFileWriter writer;
                writer.killAt = killAt < steps ? killAt : -1; // steps: not killed
                ::_exit(SaveFileSafely(path, m_new, nullptr, writer) ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
            EXPECT_EQ(killed, killAt < steps) << killAt;
            const Bytes& expected = killed ? m_old : m_new;
            if (killed && !earlier) {
                EXPECT_TRUE(m_folder.Entries().empty()) << killAt;
                continue;
            }
            EXPECT_EQ(m_folder.Entries(), std::vector<std::string>{"texture.png"}) << earlier << killAt;
            EXPECT_TRUE(ReadFile(path) == expected) << earlier << killAt;
        }
    }
}

// Without replacing, a file that appears during the save wins and the save fails, whichever way
// the save goes.
TEST_F(SafeSave, NoReplaceKeepsFileMadeDuringTheSave) {
    for (SavePath way : {SavePath::Unnamed, SavePath::Named, SavePath::LinkRefused}) {
        const std::string path = m_folder / "texture.png";
        std::filesystem::remove(path);
        std::filesystem::remove(m_folder / "new.png");
        ASSERT_TRUE(SaveFileSafely(m_folder / "new.png", m_new, nullptr, SystemFileWriter(), smNoReplace));
        std::string reason;
        EXPECT_FALSE(SaveFileSafely(m_folder / "new.png", m_old, &reason, SystemFileWriter(), smNoReplace));
        EXPECT_EQ(reason, "File exists");

        KillingFileWriter writer;
        writer.noUnnamed = way == SavePath::Named;
        writer.refuseLink = way == SavePath::LinkRefused;
        writer.appearsAtSync = path;
        EXPECT_FALSE(SaveFileSafely(path, m_new, &reason, writer, smNoReplace)) << int(way);
        EXPECT_EQ(reason, "File exists");
        EXPECT_EQ(ReadFile(path), Bytes{'x'});
        EXPECT_EQ(ReadFile(m_folder / "new.png"), m_new);
        EXPECT_EQ(m_folder.Entries(), (std::vector<std::string>{"new.png", "texture.png"})) << int(way);
    }
}

// A stream opened without replacing never takes a name that exists, whenever it appeared: a file
// or a symbolic link, even a dangling one; replacing truncates.
TEST_F(SafeSave, StreamOpensOnlyFreeNamesUnlessReplacing) {
    const std::string taken = Earlier();
    fs::create_symlink("nowhere.txt", m_folder / "dangling.txt");
    const struct {
        std::string name;
        TSaveMode mode;
        bool opens;
    } cases[] = {{"free.txt", smNoReplace, true},
                 {"texture.png", smNoReplace, false},
                 {"dangling.txt", smNoReplace, false},
                 {"texture.png", smReplace, true}};
    for (const auto& c : cases) {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
            OpenStreamForWriting(m_folder / c.name, c.mode), &std::fclose);
        const int error = errno;
        EXPECT_EQ(file != nullptr, c.opens) << c.name << " " << c.mode;
        EXPECT_TRUE(c.opens || error == EEXIST) << c.name;
    }
    EXPECT_TRUE(ReadFile(taken).empty()) << "replacing truncates";
    EXPECT_FALSE(fs::exists(m_folder / "nowhere.txt")) << "created through a link";
}

TEST(SafeFileTemplate, HiddenNameBesideTheDestination) {
    EXPECT_EQ(SafeFileTemplate("/home/u/some.folder/image004.png"),
              "/home/u/some.folder/.image004.png.XXXXXX");
    EXPECT_EQ(SafeFileTemplate("texture.jpg"), ".texture.jpg.XXXXXX");
    EXPECT_EQ(SafeFileTemplate("/t"), "/.t.XXXXXX");
    // A long name is cut, never inside a UTF-8 character ("é" is 2 bytes; 199 + 2 > 200).
    const std::string name = std::string(199, 'a') + "\xC3\xA9" + "b.png";
    EXPECT_EQ(SafeFileTemplate("d/" + name), "d/." + std::string(199, 'a') + ".XXXXXX");
}

} // namespace
} // namespace vorn
