// A file writer for SaveFileSafely that makes the system's calls but fails the ones a test asks
// for with failErrno, and counts the write calls.
#pragma once

#include <cerrno>
#include <cstddef>

#include "export/SafeFile.h"

namespace vorn::test {

class FailingFileWriter : public TFileWriter {
public:
    // Write calls that still succeed before one fails; negative = never fail.
    int writesBeforeFailure = -1;
    int failErrno = ENOSPC;
    bool failCreate = false; // creating the temporary file fails
    bool failFsync = false;
    bool failRename = false;
    int writeCalls = 0; // write calls made so far

    int CreateTemporary(char* pathTemplate) override {
        return failCreate ? Fail() : TFileWriter::CreateTemporary(pathTemplate);
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

private:
    int Fail() const {
        errno = failErrno;
        return -1;
    }
};

} // namespace vorn::test
