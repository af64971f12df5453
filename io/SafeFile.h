// Saving a file whole or not at all: the bytes go into a temporary file beside the destination,
// which is flushed to disk and then renamed over it, so a failed save never leaves a partial file
// nor destroys the file it was replacing. Where the file system has unnamed files (O_TMPFILE) the
// temporary file has no name until it is complete, so a process killed while writing leaves
// nothing behind; elsewhere, or where the unnamed file cannot be given a name (no /proc), it is a
// hidden named file. Paths use '/'; failures come back as
// strerror texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include <sys/types.h>

namespace vorn {

// The file-system calls a safe save makes, each answering as the POSIX call does (-1 with errno
// set on failure). The system's own is the default; a test passes one that fails some of them.
class TFileWriter {
public:
    virtual ~TFileWriter() = default;
    // An unnamed file in folder: open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode). Fails
    // with EOPNOTSUPP, EISDIR or EINVAL where the file system (or kernel) has none.
    virtual int CreateUnnamed(const char* folder, mode_t mode);
    // Gives the unnamed file fd the name path: linkat() of /proc/self/fd/N, or of the descriptor
    // itself (AT_EMPTY_PATH) without /proc. EEXIST when path exists.
    virtual int LinkUnnamed(int fd, const char* path);
    virtual int CreateTemporary(char* pathTemplate); // mkostemp(pathTemplate, O_CLOEXEC)
    virtual ssize_t Write(int fd, const void* data, std::size_t size);
    virtual int Sync(int fd);
    virtual int Rename(const char* from, const char* to);
    // rename() that fails with EEXIST when to exists (renameat2 RENAME_NOREPLACE, or link() and
    // unlink() where the file system lacks it).
    virtual int RenameNoReplace(const char* from, const char* to);
};

enum TSaveMode {
    smReplace,   // an existing file of the name is replaced
    smNoReplace, // an existing file of the name, even one made during the save, fails it (EEXIST)
    // The name itself is replaced, whatever it is: a symbolic link there is replaced by the file,
    // never followed, so a link planted in a shared folder cannot redirect the write.
    smReplaceEntry,
};

// The system's calls.
TFileWriter& SystemFileWriter();

// Writes data to fileName. On failure returns false with the reason ("No space left on device"),
// removes the temporary file and leaves an earlier file of that name as it was. A new file gets
// the permissions 0666 & ~umask; a replaced file keeps its permission bits, and one that may not
// be written (EACCES) is refused. A symbolic link is followed: the file it points to is replaced,
// or made when it does not exist yet, and the link stays (smReplaceEntry replaces the link).
bool SaveFileSafely(const std::string& fileName, std::span<const std::uint8_t> data,
                    std::string* reason = nullptr, TFileWriter& writer = SystemFileWriter(),
                    TSaveMode mode = smReplace);

// Opens fileName to be written as a stream (a file written as it goes, not saved whole): with
// smNoReplace only when no file of the name exists, not even one made since the caller looked,
// nor a symbolic link. nullptr with errno set on failure (EEXIST: the name is taken).
std::FILE* OpenStreamForWriting(const std::string& fileName, TSaveMode mode);

// The temporary file's name pattern for fileName: ".<name>.XXXXXX" in the same folder (the name
// cut to keep within the file system's name length).
std::string SafeFileTemplate(const std::string& fileName);

// Data is written in pieces of at most this many bytes, one write call each.
inline constexpr std::size_t SafeFileWriteChunk = 256 * 1024;

} // namespace vorn
