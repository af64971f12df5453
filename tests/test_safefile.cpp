// Saving through a temporary file and rename: the file appears whole or not at all, an earlier
// file survives every failure (missing or read-only folder, a write failing half-way, fsync,
// rename), no temporary file is left behind, and permissions follow the umask.
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "export/SafeFile.h"
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
