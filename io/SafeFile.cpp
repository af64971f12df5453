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

    // Replace what a symbolic link points to, not the link itself.
    std::string target = fileName;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        if (saveMode == smNoReplace) return Fail(reason, EEXIST);
        if (S_ISLNK(st.st_mode)) {
            std::unique_ptr<char, decltype(&std::free)> real(::realpath(target.c_str(), nullptr), &std::free);
            if (real) target = real.get();
        }
    }

    mode_t mode = 0666 & ~CurrentUmask();
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Fail(reason, EISDIR);
        // A write-protected file stays protected: refused as opening it for writing would be.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return Fail(reason, errno);
        if (S_ISREG(st.st_mode)) mode = st.st_mode & 0777;
    }

    // An unnamed file where the file system has them, else a hidden named one.
    int fd = writer.CreateUnnamed(FolderOf(target).c_str(), mode);
    const bool unnamed = fd >= 0;
    std::string path;
    if (!unnamed) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return Fail(reason, errno);
        std::string pattern = SafeFileTemplate(target);
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        fd = writer.CreateTemporary(buffer.data());
        if (fd < 0) return Fail(reason, errno);
        path = buffer.data();
    }
    TempFile temp(fd, path);

    if (::fchmod(temp.fd(), mode) != 0) return Fail(reason, errno);
    if (!WriteAll(writer, temp.fd(), data)) return Fail(reason, errno);
    if (writer.Sync(temp.fd()) != 0) return Fail(reason, errno);
    if (unnamed) {
        // The data is on disk: the descriptor is needed to link the file and its close can no
        // longer lose anything.
        if (!PlaceUnnamed(writer, temp, target, saveMode)) return Fail(reason, errno);
    } else {
        if (!temp.Close()) return Fail(reason, errno);
        const int placed = saveMode == smNoReplace
                               ? writer.RenameNoReplace(temp.path().c_str(), target.c_str())
                               : writer.Rename(temp.path().c_str(), target.c_str());
        if (placed != 0) return Fail(reason, errno);
    }
    temp.Commit();
    SyncFolder(FolderOf(target));
    return true;
}

} // namespace vorn
