#include "io/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {

namespace {

std::string ErrnoText(int err) {
    return std::error_code(err, std::generic_category()).message();
}

bool Fail(std::string* reason, int err) {
    if (reason) *reason = ErrnoText(err);
    return false;
}

// The process's umask. umask() can only read it by setting it, which races with other threads
// creating files, so Linux's /proc entry is asked first.
mode_t CurrentUmask() {
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> status(std::fopen("/proc/self/status", "re"));
    if (status) {
        char line[256];
        while (std::fgets(line, sizeof line, status.get())) {
            unsigned int mask = 0;
            if (std::sscanf(line, "Umask: %o", &mask) == 1) return mode_t(mask & 0777);
        }
    }
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

// Writes all of data; false with errno set on failure.
bool WriteAll(TFileWriter& writer, int fd, std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const std::size_t piece = std::min(SafeFileWriteChunk, data.size() - done);
        const ssize_t written = writer.Write(fd, data.data() + done, piece);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        done += std::size_t(written);
    }
    return true;
}

// The temporary file until it is in place: closed, and removed unless committed when it has a
// name (an unnamed file vanishes with its descriptor).
class TempFile {
public:
    TempFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~TempFile() {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_committed && !m_path.empty()) ::unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }
    // close() reports late write errors (quota, network file systems): false with errno set.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }
    void Commit() { m_committed = true; }
    void Named(std::string path) { m_path = std::move(path); }

private:
    int m_fd;
    std::string m_path;
    bool m_committed = false;
};

std::string FolderOf(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return fileName.substr(0, slash);
}

// Best effort: makes the rename itself durable.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A name from SafeFileTemplate with its XXXXXX filled in at random.
std::string UniqueName(const std::string& target) {
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = SafeFileTemplate(target);
    std::random_device random;
    for (std::size_t i = name.size() - 6; i < name.size(); ++i)
        name[i] = Letters[random() % (sizeof Letters - 1)];
    return name;
}

// Gives the unnamed file fd the name target, replacing a file of that name: linked straight to
// it when there is none, else linked to a hidden name that is renamed over it. On failure errno
// is set and temp removes the hidden name.
bool PlaceUnnamed(TFileWriter& writer, TempFile& temp, const std::string& target, TSaveMode mode) {
    if (writer.LinkUnnamed(temp.fd(), target.c_str()) == 0) return true;
    if (errno != EEXIST || mode == smNoReplace) return false;
    for (int attempt = 0;; ++attempt) {
        const std::string hidden = UniqueName(target);
        if (writer.LinkUnnamed(temp.fd(), hidden.c_str()) == 0) {
            temp.Named(hidden);
            break;
        }
        if (errno != EEXIST || attempt == 100) return false;
    }
    return writer.Rename(temp.path().c_str(), target.c_str()) == 0;
}

// Replaces path by where its chain of symbolic links ends: the first name that is not a link,
// which need not exist. False with errno set (ELOOP, or readlink's) when the chain cannot be
// followed.
bool FollowLinks(std::string& path) {
    for (int hop = 0; hop < 40; ++hop) { // the kernel's own limit
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::vector<char> buffer(std::size_t(PATH_MAX) + 1);
        const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0) return false;
        if (std::size_t(length) == buffer.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string next(buffer.data(), std::size_t(length));
        path = next.front() == '/' ? next : FolderOf(path) + "/" + next;
    }
    errno = ELOOP;
    return false;
}

enum class TPlaced {
    Yes,
    Failed,  // the reason is set; the earlier file stays
    Refused, // no unnamed file here, or it cannot be named: the named path is taken instead
};

// The data into an unnamed file, flushed, then linked in place. Failed sets reason; the
// temporary file is gone when this returns.
TPlaced SaveUnnamed(TFileWriter& writer, const std::string& target, std::span<const std::uint8_t> data,
                    mode_t mode, TSaveMode saveMode, std::string* reason) {
    const auto failed = [reason] {
        Fail(reason, errno);
        return TPlaced::Failed;
    };
    const int fd = writer.CreateUnnamed(FolderOf(target).c_str(), mode);
    if (fd < 0)
        return errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL ? TPlaced::Refused : failed();
    TempFile temp(fd, {});
    if (::fchmod(temp.fd(), mode) != 0 || !WriteAll(writer, temp.fd(), data) || writer.Sync(temp.fd()) != 0)
        return failed();
    // The data is on disk: the descriptor is needed to link the file and its close can no longer
    // lose anything.
    if (!PlaceUnnamed(writer, temp, target, saveMode)) {
        // Without /proc, and without the capability to link a descriptor itself, the file
        // cannot be given a name.
        const bool refused = errno == ENOENT || errno == EPERM || errno == EACCES || errno == EOPNOTSUPP ||
                             errno == EXDEV || errno == EINVAL;
        return refused ? TPlaced::Refused : failed();
    }
    temp.Commit();
    return TPlaced::Yes;
}

// The data into a hidden file beside the target, flushed, closed, then renamed over it.
bool SaveNamed(TFileWriter& writer, const std::string& target, std::span<const std::uint8_t> data,
               mode_t mode, TSaveMode saveMode, std::string* reason) {
    const std::string pattern = SafeFileTemplate(target);
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = writer.CreateTemporary(buffer.data());
    if (fd < 0) return Fail(reason, errno);
    TempFile temp(fd, buffer.data());
    if (::fchmod(temp.fd(), mode) != 0 || !WriteAll(writer, temp.fd(), data) || writer.Sync(temp.fd()) != 0 ||
        !temp.Close())
        return Fail(reason, errno);
    const int placed = saveMode == smNoReplace ? writer.RenameNoReplace(temp.path().c_str(), target.c_str())
                                               : writer.Rename(temp.path().c_str(), target.c_str());
    if (placed != 0) return Fail(reason, errno);
    temp.Commit();
    return true;
}

} // namespace

int TFileWriter::CreateUnnamed(const char* folder, mode_t mode) {
    return ::open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}
int TFileWriter::LinkUnnamed(int fd, const char* path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0) return -1;
    return ::linkat(fd, "", AT_FDCWD, path, AT_EMPTY_PATH); // no /proc; needs CAP_DAC_READ_SEARCH
}
int TFileWriter::CreateTemporary(char* pathTemplate) {
    return ::mkostemp(pathTemplate, O_CLOEXEC);
}
ssize_t TFileWriter::Write(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}
int TFileWriter::Sync(int fd) {
    return ::fsync(fd);
}
int TFileWriter::Rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int TFileWriter::RenameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::link(from, to) != 0) return -1; // fails with EEXIST as the rename would
    ::unlink(from);
    return 0;
}

TFileWriter& SystemFileWriter() {
    static TFileWriter system;
    return system;
}

std::FILE* OpenStreamForWriting(const std::string& fileName, TSaveMode mode) {
    // "x" is O_EXCL: the name is created by this call or the call fails.
    return std::fopen(fileName.c_str(), mode == smNoReplace ? "wxe" : "we");
}

std::string SafeFileTemplate(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    std::string name = fileName.substr(nameAt);
    // "." + name + ".XXXXXX" must fit NAME_MAX (255); cut on a UTF-8 character boundary.
    constexpr std::size_t MaxName = 200;
    if (name.size() > MaxName) {
        std::size_t cut = MaxName;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return fileName.substr(0, nameAt) + "." + name + ".XXXXXX";
}

bool SaveFileSafely(const std::string& fileName, std::span<const std::uint8_t> data, std::string* reason,
                    TFileWriter& writer, TSaveMode saveMode) {
    if (fileName.empty()) return Fail(reason, ENOENT);

    // Replace what a symbolic link points to, not the link itself, even when that is no file yet.
    std::string target = fileName;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        if (saveMode == smNoReplace) return Fail(reason, EEXIST);
        if (S_ISLNK(st.st_mode) && saveMode != smReplaceEntry && !FollowLinks(target))
            return Fail(reason, errno);
    }

    mode_t mode = 0666 & ~CurrentUmask();
    const bool found = saveMode == smReplaceEntry ? ::lstat(target.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)
                                                  : ::stat(target.c_str(), &st) == 0;
    if (found) {
        if (S_ISDIR(st.st_mode)) return Fail(reason, EISDIR);
        // A write-protected file stays protected: refused as opening it for writing would be.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return Fail(reason, errno);
        if (S_ISREG(st.st_mode)) mode = st.st_mode & 0777;
    }

    // An unnamed file where the file system has one and it can be given a name, else a hidden
    // named one.
    switch (SaveUnnamed(writer, target, data, mode, saveMode, reason)) {
    case TPlaced::Yes:
        break;
    case TPlaced::Failed:
        return false;
    case TPlaced::Refused:
        if (!SaveNamed(writer, target, data, mode, saveMode, reason)) return false;
        break;
    }
    SyncFolder(FolderOf(target));
    return true;
}

} // namespace vorn
