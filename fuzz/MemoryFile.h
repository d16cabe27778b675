// The fuzz input as a file: the readers under test open files by name, so the bytes go into
// an anonymous in-memory file reached through /proc/self/fd (a regular file to stat and open).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

// One per process, rewritten for every input (creating a file per input would cost more than
// most inputs take to read).
class MemoryFile {
  public:
    MemoryFile(const uint8_t* data, size_t size) {
        static const int shared = memfd_create("fuzz-input", MFD_CLOEXEC);
        fd = shared;
        if (fd < 0 || ftruncate(fd, 0) != 0) {
            fd = -1;
            return;
        }
        size_t written = 0;
        while (written < size) {
            const ssize_t n =
                pwrite(fd, data + written, size - written, static_cast<off_t>(written));
            if (n <= 0) break;
            written += static_cast<size_t>(n);
        }
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool ok() const { return fd >= 0; }
    const std::string& name() const { return path; } // opens the file afresh, from its start

  private:
    int fd = -1;
    std::string path;
};
