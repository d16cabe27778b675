// Read-only opening of regular files: open without blocking, check the type, then hand the
// descriptor to stdio.
#include "storage/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

RegularFileHandle refuse(int fd, std::string* problem, const std::string& why) {
    if (fd >= 0) ::close(fd);
    if (problem != nullptr) *problem = why;
    return nullptr;
}

} // namespace

RegularFileHandle openRegularFile(const std::string& name, std::string* problem) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return refuse(fd, problem, std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0) return refuse(fd, problem, std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return refuse(fd, problem,
                      std::string("not a regular file (") + kindOf(info.st_mode) + ")");
    // Reads of a regular file ignore the flag, but stdio gets the descriptor as a plain one.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return refuse(fd, problem, std::strerror(errno));
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) return refuse(fd, problem, std::strerror(errno));
    return RegularFileHandle(file);
}
