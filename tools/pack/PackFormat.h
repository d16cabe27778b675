// Writing packs, and listing them through the show's own directory reader
// (storage/PackFormat.h, which also has the layout).
#pragma once

#include "storage/PackFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pack {

using packformat::marker;
using packformat::markerLength;
using packformat::maxEntries;
using packformat::maxNameLength;
using packformat::separator;

struct Entry {
    std::string name; // the path clients ask for, e.g. "data/dovari1.jpg"
    std::vector<uint8_t> bytes;
};

struct ListedEntry {
    std::string name;
    int64_t offset = 0; // bytes from the start of the pack
    int64_t size = 0;   // bytes, as the show reads the directory
};

// Why name cannot be stored (empty, longer than maxNameLength, holds "@"), or "" when it can.
std::string nameProblem(const std::string& name);

// The whole pack. Throws std::runtime_error when the entries cannot be stored: a bad name, more
// than maxEntries entries, or more bytes than 32-bit offsets reach.
std::vector<uint8_t> buildPack(const std::vector<Entry>& entries);

// Reads the directory with the show's reader. False with a reason in error when there is no
// readable directory.
bool readDirectory(const std::vector<uint8_t>& pack, std::vector<ListedEntry>& entries,
                   std::string& error);

// True when a request for entries[k].name would find an earlier entry instead.
bool isShadowed(const std::vector<ListedEntry>& entries, size_t k);

} // namespace pack
