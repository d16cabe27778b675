// The pictures the effects draw into, the line-doubled copy to the surface, and the pixel
// helpers and random source that all effects share.
//
// A picture buffer is 640 x 480 pixels of 4 bytes (0x00RRGGBB little-endian: byte 0 blue,
// byte 1 green, byte 2 red, byte 3 unused), rows of 2,560 bytes. Rows 0-239 are the picture;
// rows 240 and 241 are spare neighbours for effects that reach one row below a random row.
// Nothing here checks bounds: the full-height allocation makes those reaches safe.
#pragma once

#include "effects/Effect.h"
#include "storage/PictureTable.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class OImage;

constexpr int bufferPixels = 640 * 480;
constexpr int bufferBytes = bufferPixels * 4; // 1,228,800

// The picture buffers of one show, each bufferBytes, zero-filled when made, freed with the
// object; and the decoded pictures they are prepared from.
class Pictures {
  public:
    Pictures();
    ~Pictures();
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;

    // Loads the sixteen images from the process's pack; throws as OImage does.
    void preloadImages();
    // Converts the images into their buffers and keys the rozerid1 buffer.
    void prepareImages();
    // preloadImages and prepareImages with the same buffers in the end, but one image at a time,
    // each let go once its buffer is made (nothing reads them after): at most one decoded image
    // is held at once, and none after.
    void loadImagesOneByOne();

    uint8_t* effectBuffer = nullptr;            // what the scenes draw and blitDoubled shows
    uint8_t* imageBuffers[imageCount] = {};     // filled by prepareImages, drawn into by scenes
    uint8_t* workBuffer = nullptr;              // target of the breathing warp
    std::unique_ptr<OImage> images[imageCount]; // the decoded pictures, kept for the show's life

  private:
    std::unique_ptr<uint8_t[]> storage[imageCount + 2];
};

// Sets size bytes to zero, writing only the blocks that are not zero already: memory fresh from
// the system reads as zero without being resident, and stays so. Rows 242-479 of a buffer are
// never drawn, so a show's buffers take half their size.
void zeroFill(uint8_t* bytes, size_t size);

// Keys a picture row by row: a green background (green above 150) becomes black, and the last
// ten columns become a smear of column 629 into black.
void keyPicture(uint8_t* buffer);

// Pixels of 3 bytes (red, green, blue) to pixels of 4 (blue, green, red; byte 3 untouched).
void convert24To32(const uint8_t* source, uint8_t* destination, int width, int height);

// Picture row r to surface row 2r, surface row 2r + 1 black, for r = 0..239; surface rows are
// pitch bytes apart (at least 2,560).
void blitDoubled(const uint8_t* source, uint8_t* surface, int pitch);

// Five-point average of pixel (x, y) with its four neighbours (row 1 when y < 2).
void blur5(uint8_t* buffer, int x, int y, int width, int height);
uint8_t clamp8(int v);
void copyPixels(uint8_t* destination, const uint8_t* source, int width, int height);
void copyRows(const uint8_t* source, uint8_t* destination, int width, int height);

// Row j of the table of trunc(k * (j * c)), c the float nearest 1/255: floor(j * k / 255).
const uint8_t* multiplyRow(int j);

// destination(x, y) = weightB * sourceB + weightA * sourceA per channel, through the table.
void blendPixel(int x, int y, const uint8_t* sourceA, float weightB, const uint8_t* sourceB,
                float weightA, uint8_t* destination);
// The same over the picture, pixels 0-637 of each of the 240 rows (SSE2 where available).
void blendFrames(const uint8_t* sourceA, float weightB, const uint8_t* sourceB, float weightA,
                 uint8_t* destination);
// The table-driven pixel-by-pixel blend that blendFrames' fast path must equal.
void blendFramesPlain(const uint8_t* sourceA, float weightB, const uint8_t* sourceB, float weightA,
                      uint8_t* destination);

// Byte offset of pixel (x, y) in a buffer of the given row width.
inline int pixelOffset(int x, int y, int width) {
    return (y * width + x) * 4;
}
