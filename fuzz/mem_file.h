// A file in memory with a path, so the readers are fuzzed through their real open-and-read
// path without touching the disk on every input.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

class TMemFile {
public:
    TMemFile() {
        fd_ = ::memfd_create("kalvex-fuzz", MFD_CLOEXEC);
        if (fd_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    // Replaces the content; the path then reads exactly these bytes.
    void Set(const uint8_t* data, size_t size) {
        if (::ftruncate(fd_, 0) != 0) std::abort();
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<size_t>(n);
        }
    }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};
