// Opening the files the program reads whole: anything that is not a regular file (a FIFO, a
// character device such as /dev/zero, a directory) is refused before a byte is read, so it can
// neither block start-up in the open nor feed endless bytes.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct RegularFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using RegularFileHandle = std::unique_ptr<std::FILE, RegularFileCloser>;

// The file opened for binary reading, or null when it cannot be opened or is not a regular
// file; then problem (when not null) says why: the system's text (strerror) or "not a regular
// file (a directory)" and the like. The open itself never blocks (a FIFO without a writer is
// refused at once).
RegularFileHandle openRegularFile(const std::string& name, std::string* problem = nullptr);
