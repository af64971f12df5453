// A file writer for SaveFileSafely that makes the system's calls but fails the ones a test asks
// for with failErrno, and counts the write calls.
#pragma once

#include <cerrno>
#include <cstddef>

#include "io/SafeFile.h"

namespace vorn::test {

class FailingFileWriter : public TFileWriter {
public:
    // Write calls that still succeed before one fails; negative = never fail.
    int writesBeforeFailure = -1;
    int failErrno = ENOSPC;
    bool failCreate = false; // creating the temporary file fails
    bool noUnnamed = false;  // the file system has no unnamed files: the named one is made
    bool refuseLink = false; // an unnamed file cannot be named (no /proc): the named one is made
    bool failFsync = false;
    bool failRename = false;
    int writeCalls = 0; // write calls made so far

    int CreateUnnamed(const char* folder, mode_t mode) override {
        if (noUnnamed) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return failCreate ? Fail() : TFileWriter::CreateUnnamed(folder, mode);
    }
    int CreateTemporary(char* pathTemplate) override {
        return failCreate ? Fail() : TFileWriter::CreateTemporary(pathTemplate);
    }
    int LinkUnnamed(int fd, const char* path) override {
        if (refuseLink) {
            errno = ENOENT;
            return -1;
        }
        return TFileWriter::LinkUnnamed(fd, path);
    }
    ssize_t Write(int fd, const void* data, std::size_t size) override {
        const int call = writeCalls++;
        if (writesBeforeFailure >= 0 && call >= writesBeforeFailure) return Fail();
        return TFileWriter::Write(fd, data, size);
    }
    int Sync(int fd) override { return failFsync ? Fail() : TFileWriter::Sync(fd); }
    int Rename(const char* from, const char* to) override {
        return failRename ? Fail() : TFileWriter::Rename(from, to);
    }
    int RenameNoReplace(const char* from, const char* to) override {
        return failRename ? Fail() : TFileWriter::RenameNoReplace(from, to);
    }

private:
    int Fail() const {
        errno = failErrno;
        return -1;
    }
};

} // namespace vorn::test
