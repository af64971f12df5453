// Saving a file whole or not at all: the bytes go into a temporary file beside the destination,
// which is flushed to disk and then renamed over it, so a failed save never leaves a partial file
// nor destroys the file it was replacing. Paths use '/'; failures come back as strerror texts.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vorn {

// Writes data to fileName. On failure returns false with the reason ("No space left on device"),
// removes the temporary file and leaves an earlier file of that name as it was. A new file gets
// the permissions 0666 & ~umask; a replaced file keeps its permission bits, and one that may not
// be written (EACCES) is refused. A symbolic link is followed: the file it points to is replaced,
// not the link.
bool SaveFileSafely(const std::string& fileName, std::span<const std::uint8_t> data,
                    std::string* reason = nullptr);

// The temporary file's name pattern for fileName: ".<name>.XXXXXX" in the same folder (the name
// cut to keep within the file system's name length).
std::string SafeFileTemplate(const std::string& fileName);

// Data is written in pieces of at most this many bytes, one write call each.
inline constexpr std::size_t SafeFileWriteChunk = 256 * 1024;

// Failure injection for tests. Plain process-wide values; reset them with Reset().
struct TSafeFileHooks {
    // Write calls that still succeed before one fails with failErrno; negative = never fail.
    static inline int writesBeforeFailure = -1;
    static inline int failErrno = ENOSPC;
    static inline bool failCreate = false; // creating the temporary file fails with failErrno
    static inline bool failFsync = false;  // fsync fails with failErrno
    static inline bool failRename = false; // rename fails with failErrno
    static inline int writeCalls = 0;      // write calls made since Reset
    static void Reset() {
        writesBeforeFailure = -1;
        failErrno = ENOSPC;
        failCreate = false;
        failFsync = false;
        failRename = false;
        writeCalls = 0;
    }
};

} // namespace vorn
