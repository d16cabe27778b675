// OTable: the process-wide constants and look-up tables of a software 3D renderer (resolution
// values, sine and cosine tables over a full turn, projection scales, a Z-buffer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The values OTable computes. They exist, with their initial contents, before any OTable is made.
struct OTableValues {
    int16_t xRes = 320;        // pixels
    int16_t yRes = 240;        // pixels
    int8_t bpp = 32;           // bits per pixel
    uint8_t bytesPerPixel = 4; // (bpp + 1) / 8
    int16_t halfWidth = 160;   // xRes / 2
    int16_t halfHeight = 120;  // yRes / 2
    float fieldOfView = 45.0f;
    float aspectCorrection = (4.0f / 3.0f) / (320.0f / 240.0f); // 1.0
    float fieldOfViewAspect = 45.0f;                            // field of view x aspect
    float fieldOfViewCopy = 45.0f;
    float xProjectionScale = 45.0f / 160.0f;        // 0.28125
    float yProjectionScale = 1.0f * 45.0f / 120.0f; // 0.375
    float lastColumn = 319.0f;
    float lastRow = 239.0f;
    int32_t tableSize = 65536; // entries of each trigonometric table
    // A row offset y * xRes is (y << rowShiftA) + (y << rowShiftB).
    uint8_t rowShiftA = 8;
    uint8_t rowShiftB = 6;
    float factorA = 1.0f;
    float factorB = 1.0f;
    float fieldOfViewArgument = 45.0f; // the constructor's field of view
    float zFactor = 1.0f;
    std::unique_ptr<float[]> cosTable;  // tableSize entries over one full turn
    std::unique_ptr<float[]> sinTable;  // tableSize entries over one full turn
    std::unique_ptr<uint8_t[]> zBuffer; // xRes x yRes x 4 bytes, not cleared
    size_t zBufferBytes = 0;
};

class OTable {
  public:
    // Builds the tables (tableSize entries, cos and sin of 2 pi i / (tableSize - 1)) and sets the
    // resolution. Throws Error(errOutOfMemory) when a table or the Z-buffer cannot be allocated.
    OTable(int32_t tableSize, int16_t xRes, int16_t yRes, int8_t bpp, float fieldOfView);

    // Stores the resolution and its derived values, picks the row shift pair for the width and
    // reallocates the Z-buffer (the old one is released first).
    static void setResolution(int16_t xRes, int16_t yRes, int8_t bpp);
    // Stores two factors, each kept inside (0, 1): <= 0 becomes 0.00001, >= 1 becomes 0.99.
    static void setFactors(float a, float b);

    // The process-wide values.
    static const OTableValues& values();
};
