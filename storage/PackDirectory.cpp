// The pack directory: finds the marker, reads the "name@size@" entries and serves file bytes.
#include "storage/FileServer.h"

#include "storage/RegularFile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr char marker[] = "@@ZembrilBundleToolMarkerSignatureBlock2001xx";
constexpr long markerLength = 45;
static_assert(sizeof marker - 1 == markerLength, "the marker is 45 bytes");

constexpr int statusOpen = -1;
constexpr int statusSeek = -2;
constexpr int statusEmpty = -3;
constexpr int statusShortRead = -4;
constexpr int statusNoMarker = -5;
constexpr int statusMalformed = -6;

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
int32_t readSize(const uint8_t* data, long p, long end) {
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
long findAt(const uint8_t* data, long p, long end) {
    const void* hit = std::memchr(data + p, '@', static_cast<size_t>(end - p));
    return hit != nullptr ? static_cast<const uint8_t*>(hit) - data : end;
}

} // namespace

PackDirectory::PackDirectory() : sizes(maxEntries, 0), offsets(maxEntries, 0), names(maxEntries) {}

int PackDirectory::parse(const std::string& name) {
    packName = name;
    count = 0;
    for (int32_t& offset : offsets)
        offset = 0;

    // Only a regular file: a FIFO would block here and a device would never end.
    RegularFileHandle pack = openRegularFile(name);
    if (!pack) return statusOpen;
    if (std::fseek(pack.get(), 0, SEEK_END) != 0) return statusSeek;
    const long n = std::ftell(pack.get());
    if (std::fseek(pack.get(), 0, SEEK_SET) != 0) return statusSeek;
    if (n <= 0) return statusEmpty;
    // Offsets are 32-bit: a longer pack cannot be addressed.
    if (n > std::numeric_limits<int32_t>::max()) return statusMalformed;

    std::unique_ptr<uint8_t[]> data(new uint8_t[static_cast<size_t>(n)]);
    const size_t got = std::fread(data.get(), 1, static_cast<size_t>(n), pack.get());
    if (got < static_cast<size_t>(n)) {
        std::printf("%zu\n", got);
        return statusShortRead;
    }
    const uint8_t* bytes = data.get();

    // The marker search does not step back after a partial match: the byte that broke it is
    // not tried as the first byte of a new match.
    long i = 0;
    for (long m = 0; m < markerLength; ++i) {
        if (i >= n) return statusNoMarker;
        m = (bytes[i] == static_cast<uint8_t>(marker[m])) ? m + 1 : 0;
    }
    if (i >= n) return statusNoMarker;

    long p = i + 1; // past the separator byte
    int ats = 0;    // '@' bytes in a row since the last name
    bool sizeExpected = false;
    long directoryEnd = -1;
    while (p < n) {
        if (bytes[p] == '@') {
            ++p;
            if (++ats == 2) {
                directoryEnd = p;
                break;
            }
        } else if (sizeExpected) {
            const long close = findAt(bytes, p, n);
            if (close >= n) return statusMalformed; // size field runs into the end
            sizes[count] = readSize(bytes, p, close);
            ++count;
            sizeExpected = false;
            p = close + 1;
        } else {
            ats = 0;
            const long close = findAt(bytes, p, n);
            if (close >= n) return statusMalformed; // name runs into the end
            if (close - p > maxNameLength) return statusMalformed;
            if (count >= maxEntries) return statusMalformed;
            names[count].assign(reinterpret_cast<const char*>(bytes + p),
                                static_cast<size_t>(close - p));
            sizeExpected = true;
            p = close; // the '@' after the name is counted above
        }
    }
    if (directoryEnd < 0) return statusMalformed; // no closing "@" before the end

    // Running sum in 64 bits: an entry whose start no longer fits a 32-bit offset gets
    // noOffset and cannot be read.
    int64_t position = directoryEnd;
    for (int k = 0; k < count; ++k) {
        const bool fits = position >= 0 && position <= std::numeric_limits<int32_t>::max();
        offsets[k] = fits ? static_cast<int32_t>(position) : noOffset;
        position += sizes[k];
    }
    return 0;
}

int PackDirectory::find(const std::string& name) const {
    const std::string wanted = lowerAscii(name);
    for (int k = 0; k < count; ++k) {
        const std::string stored = lowerAscii(names[k]);
        if (stored == wanted) return k;
        const size_t slash = stored.rfind('/');
        if (slash != std::string::npos && stored.compare(slash + 1, std::string::npos, wanted) == 0)
            return k;
    }
    return -1;
}

uint8_t* PackDirectory::readFile(const std::string& name) const {
    const int k = find(name);
    if (k < 0) return nullptr;
    const int32_t size = sizes[k];
    const int32_t offset = offsets[k];
    if (size < 0 || offset < 0) return nullptr;

    RegularFileHandle pack = openRegularFile(packName);
    if (!pack) return nullptr;
    // The bytes must lie wholly inside the pack as it is now.
    if (std::fseek(pack.get(), 0, SEEK_END) != 0) return nullptr;
    const long length = std::ftell(pack.get());
    if (length < 0 || int64_t{offset} + size > length) return nullptr;
    if (std::fseek(pack.get(), offset, SEEK_SET) != 0) return nullptr;

    std::unique_ptr<uint8_t[]> block(new uint8_t[static_cast<size_t>(size)]);
    const size_t got = std::fread(block.get(), 1, static_cast<size_t>(size), pack.get());
    if (got != static_cast<size_t>(size)) return nullptr;
    return block.release();
}

int32_t PackDirectory::getFileSize(const std::string& name) const {
    const int k = find(name);
    return k < 0 ? -1 : sizes[k];
}
