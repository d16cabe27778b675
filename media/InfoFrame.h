// The frame count an MP3's Info (Xing) frame claims for its stream, read from the frame's
// header word and body as libmpg123's mpg123_framedata gives them. No library is needed, so the
// program and the page read the claim the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint32_t infoFrameBigEndian32(const unsigned char* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
           uint32_t{bytes[3]};
}

// The claimed frame count, or -1 when the frame is no Info frame or claims no count.
inline int64_t infoFrameCount(unsigned long header, const unsigned char* body, size_t bytes) {
    if (body == nullptr) return -1;
    // The tag follows the side information, whose size depends on the version and channels,
    // and the CRC when the frame has one.
    const bool mpeg1 = ((header >> 19) & 3) == 3;
    const bool mono = ((header >> 6) & 3) == 3;
    size_t at = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    if (((header >> 16) & 1) == 0) at += 2;
    if (bytes < at + 12 ||
        (std::memcmp(body + at, "Xing", 4) != 0 && std::memcmp(body + at, "Info", 4) != 0))
        return -1;
    if ((infoFrameBigEndian32(body + at + 4) & 1) == 0) return -1; // no frame count
    return infoFrameBigEndian32(body + at + 8);
}
