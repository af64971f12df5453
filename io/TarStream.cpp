#include "io/TarStream.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorn {

TTarStream::TTarStream(const std::string& file, bool replace) {
    if (file == "-") {
        m_fd = STDOUT_FILENO;
    } else {
        m_fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL), 0644);
        m_ownFd = m_fd >= 0;
        if (m_fd < 0) {
            m_error = "Cannot write " + file + ": " + std::strerror(errno);
            return;
        }
    }
    m_archive = archive_write_new();
    if (!m_archive || archive_write_set_format_ustar(m_archive) != ARCHIVE_OK ||
        archive_write_set_bytes_per_block(m_archive, 0) != ARCHIVE_OK ||
        archive_write_open_fd(m_archive, m_fd) != ARCHIVE_OK) {
        m_error = "Cannot write " + file + ": " + (m_archive ? archive_error_string(m_archive) : "no memory");
    }
}

TTarStream::~TTarStream() {
    if (m_archive) archive_write_free(m_archive);
    if (m_ownFd) ::close(m_fd);
}

bool TTarStream::Add(const std::string& name, const std::uint8_t* data, std::size_t size) {
    if (!ok()) return false;
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_size(entry, static_cast<la_int64_t>(size));
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_mtime(entry, 0, 0);
    bool written = archive_write_header(m_archive, entry) == ARCHIVE_OK;
    archive_entry_free(entry);
    written =
        written && (size == 0 || archive_write_data(m_archive, data, size) == static_cast<la_ssize_t>(size));
    if (!written) m_error = std::string("Cannot write the tar stream: ") + archive_error_string(m_archive);
    return written;
}

bool TTarStream::Close() {
    if (!m_archive) return false;
    if (archive_write_close(m_archive) != ARCHIVE_OK && m_error.empty())
        m_error = std::string("Cannot write the tar stream: ") + archive_error_string(m_archive);
    archive_write_free(m_archive);
    m_archive = nullptr;
    if (m_ownFd && ::close(m_fd) != 0 && m_error.empty())
        m_error = std::string("Cannot write the tar stream: ") + std::strerror(errno);
    m_ownFd = false;
    return m_error.empty();
}

} // namespace vorn
