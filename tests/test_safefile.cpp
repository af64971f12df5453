// Saving through a temporary file and rename: the file appears whole or not at all, an earlier
// file survives every failure (missing or read-only folder, a write failing half-way, fsync,
// rename), no temporary file is left behind, and permissions follow the umask.
#include <cerrno>
#include <cstdint>
#include <filesystem>
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

class SafeFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_folder.path().empty()); }

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
    test::FailingFileWriter m_writer; // the system's calls, failing where a test asks
    const Bytes m_old = Pattern(1000, 99);
    // Five write calls: four whole pieces and a short one.
    const Bytes m_new = Pattern(4 * SafeFileWriteChunk + 5, 1);
};

TEST_F(SafeFile, NewFileGetsDataAndUmaskPermissions) {
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
    EXPECT_EQ(m_writer.writeCalls, 10);
}

TEST_F(SafeFile, ReplacesEarlierFileKeepingItsPermissions) {
    const std::string path = Earlier();
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(SaveFileSafely(path, m_new));
    EXPECT_EQ(ReadFile(path), m_new);
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(m_folder.Entries(), std::vector<std::string>{"texture.png"});
    // And an empty file replaces it too.
    ASSERT_TRUE(SaveFileSafely(path, Bytes{}));
    EXPECT_TRUE(ReadFile(path).empty());
}

TEST_F(SafeFile, WriteProtectedFileIsRefusedUnlessRoot) {
    const std::string path = Earlier();
    ::chmod(path.c_str(), 0444);
    std::string reason;
    const bool ok = SaveFileSafely(path, m_new, &reason);
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

TEST_F(SafeFile, MissingFolderFails) {
    Earlier();
    std::string reason;
    EXPECT_FALSE(SaveFileSafely(m_folder / "missing/texture.png", m_new, &reason));
    EXPECT_EQ(reason, "No such file or directory");
    ExpectEarlierIntact();
}

TEST_F(SafeFile, ReadOnlyFolderFails) {
    const std::string path = Earlier();
    std::string reason;
    if (::geteuid() != 0) {
        ::chmod(m_folder.path().c_str(), 0555);
        EXPECT_FALSE(SaveFileSafely(path, m_new, &reason));
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

TEST_F(SafeFile, WriteFailingAtAnyPieceLeavesEarlierFile) {
    const std::string path = Earlier();
    for (int before = 0; before < 5; ++before) {
        m_writer = test::FailingFileWriter{};
        m_writer.writesBeforeFailure = before;
        std::string reason;
        EXPECT_FALSE(SaveFileSafely(path, m_new, &reason, m_writer)) << before;
        EXPECT_EQ(reason, "No space left on device");
        EXPECT_EQ(m_writer.writeCalls, before + 1) << "the save goes on after a failed write";
        ExpectEarlierIntact();
    }
}

TEST_F(SafeFile, FsyncOrRenameFailureLeavesEarlierFile) {
    const std::string path = Earlier();
    for (bool fsyncFails : {true, false}) {
        m_writer = test::FailingFileWriter{};
        m_writer.failErrno = EIO;
        (fsyncFails ? m_writer.failFsync : m_writer.failRename) = true;
        std::string reason;
        EXPECT_FALSE(SaveFileSafely(path, m_new, &reason, m_writer));
        EXPECT_EQ(reason, "Input/output error");
        ExpectEarlierIntact();
    }
}

TEST_F(SafeFile, FolderInThePlaceOfTheFileFails) {
    const std::string path = m_folder / "texture.png";
    fs::create_directory(path);
    std::string reason;
    EXPECT_FALSE(SaveFileSafely(path, m_new, &reason));
    EXPECT_EQ(reason, "Is a directory");
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(m_folder.Entries(), std::vector<std::string>{"texture.png"});
}

TEST_F(SafeFile, SymbolicLinkIsFollowed) {
    const std::string path = Earlier();
    const std::string link = m_folder / "link.png";
    fs::create_symlink(path, link);
    ASSERT_TRUE(SaveFileSafely(link, m_new));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(path), m_new);
    EXPECT_EQ(m_folder.Entries(), (std::vector<std::string>{"link.png", "texture.png"}));
}

TEST_F(SafeFile, LongestFileNameStillSaves) {
    const std::string name = std::string(251, 'n') + ".png"; // 255 bytes, the longest allowed
    std::string reason;
    ASSERT_TRUE(SaveFileSafely(m_folder / name, m_new, &reason)) << reason;
    EXPECT_EQ(m_folder.Entries(), std::vector<std::string>{name});
}

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
TEST_F(SafeFile, KilledSaveLeavesOldOrNewFileAndNoTemporary) {
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

// Without replacing, a file that appears during the save wins and the save fails, whether the
// temporary file is unnamed or named.
TEST_F(SafeFile, NoReplaceKeepsFileMadeDuringTheSave) {
    for (bool unnamed : {true, false}) {
        const std::string path = m_folder / "texture.png";
        std::filesystem::remove(path);
        std::filesystem::remove(m_folder / "new.png");
        ASSERT_TRUE(SaveFileSafely(m_folder / "new.png", m_new, nullptr, SystemFileWriter(), smNoReplace));
        std::string reason;
        EXPECT_FALSE(SaveFileSafely(m_folder / "new.png", m_old, &reason, SystemFileWriter(), smNoReplace));
        EXPECT_EQ(reason, "File exists");

        KillingFileWriter writer;
        writer.noUnnamed = !unnamed;
        writer.appearsAtSync = path;
        EXPECT_FALSE(SaveFileSafely(path, m_new, &reason, writer, smNoReplace)) << unnamed;
        EXPECT_EQ(reason, "File exists");
        EXPECT_EQ(ReadFile(path), Bytes{'x'});
        EXPECT_EQ(ReadFile(m_folder / "new.png"), m_new);
        EXPECT_EQ(m_folder.Entries(), (std::vector<std::string>{"new.png", "texture.png"})) << unnamed;
    }
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
