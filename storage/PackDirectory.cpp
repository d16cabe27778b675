// The pack directory: finds the marker, reads the "name@size@" entries and serves file bytes.
#include "storage/FileServer.h"
#include "storage/PackFormat.h"

#include "storage/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr int statusOpen = -1;
constexpr int statusSeek = -2;
constexpr int statusEmpty = -3;
constexpr int statusShortRead = -4;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(const std::string& text) {
    std::string result(text);
    for (char& c : result)
        c = lowerAscii(c);
    return result;
}

bool isCSpace(uint8_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads a decimal number at data[p] the way a 32-bit string-to-long conversion does: leading
// white space, an optional sign, digits; out-of-range values stick at the 32-bit limits. Stops
// at end; never reads past it.
int32_t readSize(const uint8_t* data, size_t p, size_t end) {
    while (p < end && isCSpace(data[p]))
        ++p;
    bool negative = false;
    if (p < end && (data[p] == '+' || data[p] == '-')) {
        negative = data[p] == '-';
        ++p;
    }
    int64_t value = 0; // magnitude, held at 2^31 once it gets there
    constexpr int64_t limit = int64_t{1} << 31;
    while (p < end && data[p] >= '0' && data[p] <= '9') {
        value = value * 10 + (data[p] - '0');
        if (value > limit) value = limit;
        ++p;
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(value >= limit ? limit - 1 : value);
}

// Position of the first '@' at or after p, or end.
size_t findAt(const uint8_t* data, size_t p, size_t end) {
    const void* hit = std::memchr(data + p, '@', end - p);
    return hit != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - data) : end;
}

int refuse(int status, const std::string& why, std::string* reason) {
    if (reason != nullptr) *reason = why;
    return status;
}

// Up to `limit` bytes from data[p] as quoted text for a reason: printable ASCII as it is,
// other bytes as \xNN, "..." when cut.
std::string excerpt(const uint8_t* data, size_t p, size_t end, size_t limit = 24) {
    static const char digits[] = "0123456789abcdef";
    std::string text = "\"";
    const size_t stop = std::min(end, p + limit);
    for (size_t k = p; k < stop; ++k) {
        const uint8_t c = data[k];
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            text += static_cast<char>(c);
        } else {
            text += "\\x";
            text += digits[c >> 4];
            text += digits[c & 15];
        }
    }
    text += stop < end ? "\"..." : "\"";
    return text;
}

std::string at(size_t p) {
    return "at byte " + std::to_string(p);
}

} // namespace

namespace packformat {

int parseDirectory(const uint8_t* bytes, size_t n, std::vector<Entry>& entries,
                   std::string* reason) {
    entries.clear();
    // The marker search does not step back after a partial match: the byte that broke it is
    // not tried as the first byte of a new match.
    size_t i = 0;
    for (size_t m = 0; m < markerLength; ++i) {
        if (i >= n)
            return refuse(statusNoMarker,
                          "no pack marker in its " + std::to_string(n) + " bytes, which begin " +
                              excerpt(bytes, 0, n),
                          reason);
        m = (bytes[i] == static_cast<uint8_t>(marker[m])) ? m + 1 : 0;
    }
    if (i >= n)
        return refuse(statusNoMarker,
                      "the pack ends with its marker (" + at(i - markerLength) +
                          "): no directory follows",
                      reason);

    const size_t start = i + 1; // past the separator byte
    size_t p = start;
    int ats = 0; // '@' bytes in a row since the last name
    bool sizeExpected = false;
    std::string name; // the name whose size comes next; a name without one is no entry
    const auto entryText = [&entries](size_t p) {
        return "entry " + std::to_string(entries.size() + 1) + " " + at(p);
    };
    while (p < n) {
        if (bytes[p] == '@') {
            ++p;
            if (++ats == 2) {
                // The files follow the directory's closing "@".
                int64_t position = static_cast<int64_t>(p);
                for (Entry& entry : entries) {
                    entry.offset = position;
                    position += entry.size;
                }
                return 0;
            }
        } else if (sizeExpected) {
            const size_t close = findAt(bytes, p, n);
            if (close >= n)
                return refuse(
                    statusMalformed,
                    "the size of entry " + std::to_string(entries.size() + 1) + " (" +
                        excerpt(reinterpret_cast<const uint8_t*>(name.data()), 0, name.size(), 64) +
                        ") " + at(p) + ", " + excerpt(bytes, p, n, 12) +
                        ", runs into the end of the pack without its closing @",
                    reason);
            entries.push_back(Entry{std::move(name), readSize(bytes, p, close), 0});
            sizeExpected = false;
            p = close + 1;
        } else {
            ats = 0;
            const size_t close = findAt(bytes, p, n);
            if (close >= n)
                return refuse(statusMalformed,
                              entryText(p) + ": the name " + excerpt(bytes, p, n) +
                                  " runs into the end of the pack without its closing @",
                              reason);
            if (close - p > static_cast<size_t>(maxNameLength))
                return refuse(statusMalformed,
                              entryText(p) + ": a name of " + std::to_string(close - p) +
                                  " bytes, " + excerpt(bytes, p, close) + ", longer than " +
                                  std::to_string(maxNameLength),
                              reason);
            if (entries.size() >= static_cast<size_t>(maxEntries))
                return refuse(statusMalformed,
                              entryText(p) + ", " + excerpt(bytes, p, close) +
                                  ": more entries than the " + std::to_string(maxEntries) +
                                  " a directory holds",
                              reason);
            name.assign(reinterpret_cast<const char*>(bytes + p), close - p);
            sizeExpected = true;
            p = close; // the '@' after the name is counted above
        }
    }
    return refuse(statusMalformed,
                  "the directory " + at(start) + " has no closing @@ before the end of the pack (" +
                      std::to_string(entries.size()) + " entries read, " + std::to_string(n) +
                      " bytes)",
                  reason);
}

bool nameAnswers(const std::string& storedName, const std::string& request) {
    const std::string stored = lowerAscii(storedName);
    const std::string wanted = lowerAscii(request);
    if (stored == wanted) return true;
    const size_t slash = stored.rfind('/');
    return slash != std::string::npos && stored.compare(slash + 1, std::string::npos, wanted) == 0;
}

} // namespace packformat

PackDirectory::PackDirectory() : sizes(maxEntries, 0), offsets(maxEntries, 0), names(maxEntries) {}

int PackDirectory::parse(const std::string& name) {
    packName = name;
    count = 0;
    problem.clear();
    for (int32_t& offset : offsets)
        offset = 0;
    const auto fail = [this](int status, const std::string& why) {
        problem = packName + ": " + why + " (status " + std::to_string(status) + ")";
        return status;
    };

    // Only a regular file: a FIFO would block here and a device would never end.
    std::string why;
    RegularFileHandle pack = openRegularFile(name, &why);
    if (!pack) return fail(statusOpen, why);
    if (std::fseek(pack.get(), 0, SEEK_END) != 0)
        return fail(statusSeek, std::string("cannot seek to its end: ") + std::strerror(errno));
    const long n = std::ftell(pack.get());
    if (n < 0)
        return fail(statusSeek, std::string("cannot tell its length: ") + std::strerror(errno));
    if (std::fseek(pack.get(), 0, SEEK_SET) != 0)
        return fail(statusSeek, std::string("cannot seek to its start: ") + std::strerror(errno));
    if (n == 0) return fail(statusEmpty, "the file is empty");
    // Offsets are 32-bit: a longer pack cannot be addressed.
    if (n > std::numeric_limits<int32_t>::max())
        return fail(packformat::statusMalformed,
                    std::to_string(n) + " bytes, more than 32-bit offsets reach");

    std::unique_ptr<uint8_t[]> data(new uint8_t[static_cast<size_t>(n)]);
    const size_t got = std::fread(data.get(), 1, static_cast<size_t>(n), pack.get());
    if (got < static_cast<size_t>(n)) {
        const std::string system = std::ferror(pack.get()) ? std::strerror(errno) : "end of file";
        // The count of bytes that did arrive goes to standard output: the one console line
        // that tells a pack cut short while reading from a damaged one.
        std::printf("%zu\n", got);
        return fail(statusShortRead, "read " + std::to_string(got) + " of its " +
                                         std::to_string(n) + " bytes: " + system);
    }
    std::vector<packformat::Entry> entries;
    const int status =
        packformat::parseDirectory(data.get(), static_cast<size_t>(n), entries, &why);
    if (status != 0) return fail(status, why);
    count = static_cast<int32_t>(entries.size());
    // An entry whose start no longer fits a 32-bit offset gets noOffset and cannot be read.
    for (int k = 0; k < count; ++k) {
        const int64_t position = entries[k].offset;
        const bool fits = position >= 0 && position <= std::numeric_limits<int32_t>::max();
        names[k] = std::move(entries[k].name);
        sizes[k] = entries[k].size;
        offsets[k] = fits ? static_cast<int32_t>(position) : noOffset;
    }
    return 0;
}

int PackDirectory::find(const std::string& name) const {
    for (int k = 0; k < count; ++k)
        if (packformat::nameAnswers(names[k], name)) return k;
    return -1;
}

uint8_t* PackDirectory::readFile(const std::string& name, std::string* problem) const {
    const auto fail = [problem](const std::string& why) -> uint8_t* {
        if (problem != nullptr) *problem = why;
        return nullptr;
    };
    const int k = find(name);
    if (k < 0) return fail("not in the pack " + packName);
    const int32_t size = sizes[k];
    const int32_t offset = offsets[k];
    const std::string& stored = names[k];
    const std::string entry =
        "its entry " +
        excerpt(reinterpret_cast<const uint8_t*>(stored.data()), 0, stored.size(), 64) + " in " +
        packName;
    if (size < 0) return fail(entry + " has a negative size (" + std::to_string(size) + ")");
    if (offset < 0) return fail(entry + " starts beyond what 32-bit offsets reach");

    std::string why;
    RegularFileHandle pack = openRegularFile(packName, &why);
    if (!pack) return fail(packName + ": " + why);
    // The bytes must lie wholly inside the pack as it is now.
    if (std::fseek(pack.get(), 0, SEEK_END) != 0)
        return fail(packName + ": cannot seek: " + std::strerror(errno));
    const long length = std::ftell(pack.get());
    if (length < 0) return fail(packName + ": cannot tell its length: " + std::strerror(errno));
    if (int64_t{offset} + size > length)
        return fail(entry + " (" + std::to_string(size) + " bytes at byte " +
                    std::to_string(offset) + ") reaches past the end of the pack (" +
                    std::to_string(length) + " bytes)");
    if (std::fseek(pack.get(), offset, SEEK_SET) != 0)
        return fail(packName + ": cannot seek: " + std::strerror(errno));

    std::unique_ptr<uint8_t[]> block(new uint8_t[static_cast<size_t>(size)]);
    const size_t got = std::fread(block.get(), 1, static_cast<size_t>(size), pack.get());
    if (got != static_cast<size_t>(size))
        return fail(entry + ": read " + std::to_string(got) + " of its " + std::to_string(size) +
                    " bytes: " + (std::ferror(pack.get()) ? std::strerror(errno) : "end of file"));
    return block.release();
}

int32_t PackDirectory::getFileSize(const std::string& name) const {
    const int k = find(name);
    return k < 0 ? -1 : sizes[k];
}
