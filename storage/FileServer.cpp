// The FileServer: pack requests through the PackDirectory, disk files loaded once and kept.
#include "storage/FileServer.h"

#include "engine/DebugServer.h"
#include "engine/Error.h"
#include "engine/Exception.h"
#include "storage/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

bool packMode = false;

namespace {

DebugServer* theDebugServer = nullptr;
FileServer* theFileServer = nullptr;

void logLine(DebugServer* log, const std::string& line, int8_t level) {
    if (log != nullptr) log->log(line.c_str(), level);
}

// The catalogue entry keeps the name as its detail (until the next failure names another);
// the Error carries the text with the name filled in and the reason.
[[noreturn]] void throwWithDetail(ExceptionType& entry, const std::string& detail,
                                  const std::string& reason) {
    entry.setDetail(detail.c_str());
    throw Error(entry, reason);
}

} // namespace

DebugServer* processDebugServer() {
    return theDebugServer;
}
void setProcessDebugServer(DebugServer* server) {
    theDebugServer = server;
}
FileServer* processFileServer() {
    return theFileServer;
}
void setProcessFileServer(FileServer* server) {
    theFileServer = server;
}

FileServer::File::~File() {
    delete[] bytes;
}

void FileServer::File::clear() {
    delete[] bytes;
    bytes = nullptr;
    size = 0;
    name.clear();
    loaded = false;
}

const std::string& FileServer::File::getName() const {
    if (!loaded) throw Error(errFileNotFound, "the file record holds no file");
    return name;
}

uint8_t* FileServer::File::getBytes() const {
    if (!loaded) throw Error(errFileNotFound, "the file record holds no file");
    return bytes;
}

void FileServer::File::load(const std::string& fileName, DebugServer* log) {
    clear();
    name = fileName;

    // Read-only access is all a load needs, so files without write permission load too. Only
    // a regular file opens: a FIFO would block the load and a device would never end.
    std::string line = "{FileServer::File}: Opening file " + name + "...";
    std::string why;
    RegularFileHandle handle = openRegularFile(name, &why);
    if (!handle) {
        logLine(log, line + " Failed!", 10);
        const std::string failedName = name;
        clear();
        throwWithDetail(errOpenFile, failedName, failedName + ": " + why);
    }
    logLine(log, line + " Done.", 4);

    // A length that cannot be had or does not fit 32 bits reads as 0, which fails the read.
    long length = -1;
    std::string lengthProblem;
    if (std::fseek(handle.get(), 0, SEEK_END) == 0) length = std::ftell(handle.get());
    if (length < 0) lengthProblem = std::string("cannot tell its length: ") + std::strerror(errno);
    if (std::fseek(handle.get(), 0, SEEK_SET) != 0) {
        lengthProblem = std::string("cannot seek to its start: ") + std::strerror(errno);
        length = -1;
    }
    if (length > std::numeric_limits<int32_t>::max())
        lengthProblem = std::to_string(length) + " bytes, more than a 32-bit size holds";
    size = (length < 0 || length > std::numeric_limits<int32_t>::max())
               ? 0
               : static_cast<int32_t>(length);

    line = "{FileServer::File}: Allocating buffer (" + std::to_string(size) + " bytes)...";
    bytes = new uint8_t[static_cast<size_t>(size)];
    logLine(log, line + " Done.", 4);

    line = "{FileServer::File}: Reading file (" + std::to_string(size) + " bytes) into buffer... ";
    if (std::fread(bytes, static_cast<size_t>(size), 1, handle.get()) != 1) {
        std::string why = lengthProblem;
        if (why.empty() && size == 0) why = "the file is empty";
        if (why.empty())
            why = std::ferror(handle.get())
                      ? std::strerror(errno)
                      : "it ended before its " + std::to_string(size) + " bytes were read";
        logLine(log, line + "Failed!", 10);
        const std::string failedName = name;
        clear();
        throwWithDetail(errReadFile, failedName, failedName + ": " + why);
    }
    handle.reset();
    logLine(log, line + "Done.", 4);
    loaded = true;
}

FileServer::FileServer(DebugServer* log, int capacity)
    : capacity(capacity), log(log), files(static_cast<size_t>(capacity > 0 ? capacity : 0)) {
    packMode = false;
}

void FileServer::open(const std::string& packName) {
    if (directory.parse(packName) != 0) throw Error(errReadMetadata, directory.getProblem());
    packMode = true;
}

const FileServer::File* FileServer::findLoaded(const std::string& name) const {
    for (int32_t k = 0; k < count; ++k)
        if (files[k].isLoaded() && files[k].getName() == name) return &files[k];
    return nullptr;
}

uint8_t* FileServer::getFile(const std::string& name, std::string* problem) {
    if (packMode) return directory.readFile(name, problem);
    const File* file = findLoaded(name);
    if (file == nullptr) {
        addFile(name);
        file = findLoaded(name);
    }
    return file != nullptr ? file->getBytes() : nullptr;
}

int32_t FileServer::getFileSize(const std::string& name) {
    if (packMode) return directory.getFileSize(name);
    const File* file = findLoaded(name);
    if (file == nullptr) {
        addFile(name);
        file = findLoaded(name);
    }
    if (file == nullptr) {
        logLine(log, "{FileServer::getFileSize()}: Warning - client requested a non-existent file!",
                8);
        return -1;
    }
    return file->getSize();
}

void FileServer::addFile(const std::string& name) {
    if (packMode) return;
    if (count + 1 >= capacity)
        throw Error(errTooManyFiles, "its " + std::to_string(capacity) + " records hold " +
                                         std::to_string(count) + " files; " + name +
                                         " would need the last one");
    File& file = files[count];
    ++count;
    try {
        file.load(name, log);
    } catch (...) {
        --count; // the record is empty again and free for the next load
        throw;
    }
}
