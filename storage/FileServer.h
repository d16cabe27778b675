// The FileServer hands out whole files as blocks of bytes, from a pack file (found through the
// text directory after its marker) or, while no pack is open, from the disk.
#pragma once

#include "storage/PackFormat.h"

#include <cstdint>
#include <string>
#include <vector>

class DebugServer;

// The in-memory form of a pack's directory (the layout is in storage/PackFormat.h).
//
// Bad packs: faults in the directory's shape (more than maxEntries entries, a name longer than
// maxNameLength bytes, a directory or size field that runs into the end of the pack, a pack too
// long for 32-bit offsets) make parse return -6, so FileServer::open throws errReadMetadata.
// getProblem() then says what the parser met and where.
// Sizes are not checked while parsing: an entry whose bytes do not lie wholly inside the pack
// (a negative size, an offset that no longer fits 32 bits after the sizes before it, or bytes
// reaching past the pack's end) is still listed, and readFile returns null for it.
class PackDirectory {
  public:
    static constexpr int maxEntries = packformat::maxEntries;
    static constexpr int maxNameLength = packformat::maxNameLength;
    static constexpr int noOffset = -1; // entry starts outside what 32-bit offsets can address

    PackDirectory();

    // Reads the directory of the pack; 0 on success, a negative status otherwise
    // (-1 open, -2 seek, -3 empty, -4 short read, -5 no marker, -6 malformed directory), and
    // then getProblem() tells why.
    int parse(const std::string& packName);
    // After a failed parse, for people: the pack's name, what went wrong (the system's text,
    // or what the parser met and at which byte) and the status; empty after success.
    const std::string& getProblem() const { return problem; }
    // A new block (owned by the caller, delete[]) with the file's bytes, or null when no entry
    // matches, the entry's bytes are not wholly inside the pack, or the pack cannot be read;
    // then problem (when not null) says which.
    uint8_t* readFile(const std::string& name, std::string* problem = nullptr) const;
    // The stored size of the first entry matching name (as written in the directory), or -1.
    int32_t getFileSize(const std::string& name) const;

    int32_t getCount() const { return count; }
    const std::string& getName(int k) const { return names[k]; }
    int32_t getOffset(int k) const { return offsets[k]; }

  private:
    // Index of the first entry whose name or base name equals name (A-Z folded), or -1.
    int find(const std::string& name) const;

    std::string packName;         // the pack is reopened by this name for every read
    std::vector<int32_t> sizes;   // maxEntries sizes in bytes, as written in the directory
    std::vector<int32_t> offsets; // maxEntries byte positions in the pack, or noOffset
    std::vector<std::string> names;
    int32_t count = 0;
    std::string problem; // why the last parse failed
};

class FileServer {
  public:
    // One file read from disk and kept.
    class File {
      public:
        File() = default;
        ~File();
        File(const File&) = delete;
        File& operator=(const File&) = delete;

        // Reads the disk file whole (opened for reading only), logging its three steps; throws
        // Error(errOpenFile) or Error(errReadFile) with the name as the entry's detail and the
        // system's reason. A failed load leaves the record empty again.
        void load(const std::string& name, DebugServer* log);
        // Throw Error(errFileNotFound) when the record holds none.
        const std::string& getName() const;
        uint8_t* getBytes() const;
        int32_t getSize() const { return size; }
        bool isLoaded() const { return loaded; }

      private:
        void clear();

        std::string name;
        int32_t size = 0;         // bytes
        uint8_t* bytes = nullptr; // owned, size bytes
        bool loaded = false;
    };

    // log may be null (nothing is logged); capacity is the number of File records.
    FileServer(DebugServer* log, int capacity);
    FileServer(const FileServer&) = delete;
    FileServer& operator=(const FileServer&) = delete;

    // Parses the pack; any failure throws Error(errReadMetadata) whose reason is the parser's
    // (PackDirectory::getProblem). Success switches to pack mode.
    void open(const std::string& packName);
    // Pack mode: a new block the caller owns, or null (and problem, when not null, says why).
    // Disk mode: the record's block (owned by the server, the same for every request); a file
    // that cannot be loaded throws.
    uint8_t* getFile(const std::string& name, std::string* problem = nullptr);
    // The file's size in bytes, or -1.
    int32_t getFileSize(const std::string& name);
    // Disk mode only: loads the file into the next record; throws Error(errTooManyFiles) when
    // only one record is left. A load that fails gives its record back.
    void addFile(const std::string& name);

    const PackDirectory& getDirectory() const { return directory; }
    int32_t getCount() const { return count; }

  private:
    const File* findLoaded(const std::string& name) const;

    PackDirectory directory;
    int32_t capacity;
    int32_t count = 0; // disk files loaded
    DebugServer* log;  // not owned
    std::vector<File> files;
};

// Set while a pack is open: every request then goes to the pack. Cleared by constructing a
// FileServer.
extern bool packMode;

// The process's DebugServer, for the data classes that log without being handed one.
DebugServer* processDebugServer();
void setProcessDebugServer(DebugServer* server);
// The process's FileServer, from which the pictures are loaded.
FileServer* processFileServer();
void setProcessFileServer(FileServer* server);
