#include "export/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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

// The temporary file until it has been renamed: closed and removed unless committed.
class TempFile {
public:
    TempFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~TempFile() {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_committed) ::unlink(m_path.c_str());
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

} // namespace

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
                    TFileWriter& writer) {
    if (fileName.empty()) return Fail(reason, ENOENT);

    // Replace what a symbolic link points to, not the link itself.
    std::string target = fileName;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> real(::realpath(target.c_str(), nullptr), &std::free);
        if (real) target = real.get();
    }

    mode_t mode = 0666 & ~CurrentUmask();
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Fail(reason, EISDIR);
        // A write-protected file stays protected: refused as opening it for writing would be.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return Fail(reason, errno);
        if (S_ISREG(st.st_mode)) mode = st.st_mode & 0777;
    }

    std::string pattern = SafeFileTemplate(target);
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    const int fd = writer.CreateTemporary(path.data());
    if (fd < 0) return Fail(reason, errno);
    TempFile temp(fd, path.data());

    if (::fchmod(temp.fd(), mode) != 0) return Fail(reason, errno);
    if (!WriteAll(writer, temp.fd(), data)) return Fail(reason, errno);
    if (writer.Sync(temp.fd()) != 0) return Fail(reason, errno);
    if (!temp.Close()) return Fail(reason, errno);
    if (writer.Rename(temp.path().c_str(), target.c_str()) != 0) return Fail(reason, errno);
    temp.Commit();
    SyncFolder(FolderOf(target));
    return true;
}

} // namespace vorn
