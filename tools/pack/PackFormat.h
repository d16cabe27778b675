// Writing and reading the pack format: a 45-byte marker, one separator byte, a text directory of
// "name@size@" entries closed by one more "@", then the files back to back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pack {

constexpr const char* marker = "@@ZembrilBundleToolMarkerSignatureBlock2001xx";
constexpr size_t markerLength = 45;
constexpr char separator = '\n'; // the byte after the marker; readers skip it unseen
constexpr int maxEntries = 1024;
constexpr size_t maxNameLength = 511;

struct Entry {
    std::string name; // the path clients ask for, e.g. "data/dovari1.jpg"
    std::vector<uint8_t> bytes;
};

struct ListedEntry {
    std::string name;
    int64_t offset = 0; // bytes from the start of the pack
    int64_t size = 0;   // bytes, as written in the directory
};

// Why name cannot be stored (empty, longer than maxNameLength, holds "@"), or "" when it can.
std::string nameProblem(const std::string& name);

// The whole pack. Throws std::runtime_error when the entries cannot be stored: a bad name, more
// than maxEntries entries, or more bytes than 32-bit offsets reach.
std::vector<uint8_t> buildPack(const std::vector<Entry>& entries);

// Reads the directory the way the show does (first marker, separator skipped, entries up to the
// closing "@"). False with a reason in error when there is no readable directory.
bool readDirectory(const std::vector<uint8_t>& pack, std::vector<ListedEntry>& entries,
                   std::string& error);

// True when a request for entries[k].name would find an earlier entry instead (names compared
// with A-Z folded, a request matching a stored name or its base name).
bool isShadowed(const std::vector<ListedEntry>& entries, size_t k);

} // namespace pack
