// OTable: builds the renderer's process-wide tables and resolution constants.
#include "storage/OTable.h"

#include "engine/DebugServer.h"
#include "engine/Error.h"
#include "engine/Exception.h"
#include "storage/FileServer.h"

#include <cmath>
#include <cstdio>
#include <new>

namespace {

OTableValues state;

constexpr long double pi = 3.141592653589793238462643383279502884L;

void log(const char* text, int8_t level) {
    if (DebugServer* server = processDebugServer()) server->log(text, level);
}

// entries floats; null for an empty table. Throws Error(errOutOfMemory) naming the table.
std::unique_ptr<float[]> allocateTable(int32_t entries, const char* name) {
    if (entries <= 0) return nullptr;
    std::unique_ptr<float[]> table(new (std::nothrow) float[static_cast<size_t>(entries)]);
    if (!table)
        throw Error(errOutOfMemory, std::string("no memory for the ") + name + " table of " +
                                        std::to_string(entries) + " entries");
    return table;
}

// Angle of entry i: a full turn spread over entries - 1 steps, so that the first and the last
// entry are both angle 0 (in extended precision).
long double angle(int32_t i, int32_t entries) {
    if (entries <= 1) return 0.0L;
    return 2.0L * pi * static_cast<long double>(i) / static_cast<long double>(entries - 1);
}

// Would read the model-view and projection matrices and the viewport from OpenGL, project
// (1, 1, 1) and derive the two projection scales from it. This program never creates an OpenGL
// context, so there is nothing to ask: the scales keep their values and the query is skipped.
void projectionQuery() {}

} // namespace

OTable::OTable(int32_t tableSize, int16_t xRes, int16_t yRes, int8_t bpp, float fieldOfView) {
    log("{OTable::OTable()}: Allocating resources...", 0);
    log("{OTable}: Calculating look-up tables...", 5);

    state.cosTable = allocateTable(tableSize, "cosine");
    log("{OTable}: Precalculating cos values...", 2);
    for (int32_t i = 0; i < tableSize; ++i)
        state.cosTable[i] = static_cast<float>(std::cos(angle(i, tableSize)));

    state.sinTable = allocateTable(tableSize, "sine");
    log("{OTable}: Precalculating sin values...", 2);
    for (int32_t i = 0; i < tableSize; ++i)
        state.sinTable[i] = static_cast<float>(std::sin(angle(i, tableSize)));

    state.tableSize = tableSize;
    log("{OTable}: Calculating resolution- and FOV-constants...", 2);
    state.xRes = xRes;
    state.yRes = yRes;
    state.fieldOfViewArgument = fieldOfView;
    setFactors(1.0f, 1.0f);
    setResolution(state.xRes, state.yRes, bpp);
}

void OTable::setFactors(float a, float b) {
    if (a <= 0.0f) a = 0.00001f;
    if (a >= 1.0f) a = 0.99f;
    if (b <= 0.0f) b = 0.00001f;
    if (b >= 1.0f) b = 0.99f;
    state.factorA = a;
    state.factorB = b;
    projectionQuery();
}

void OTable::setResolution(int16_t xRes, int16_t yRes, int8_t bpp) {
    char text[128];
    std::snprintf(text, sizeof text, "{OTable::setResolution}: xRes:%d  yRes:%d  bpp:%d", xRes,
                  yRes, bpp);
    log(text, 5);
    std::snprintf(text, sizeof text, "{OTable::setResolution}: FOV: %f",
                  static_cast<double>(state.fieldOfView));
    log(text, 5);

    state.bpp = bpp;
    state.xRes = xRes;
    state.yRes = yRes;
    state.bytesPerPixel = static_cast<uint8_t>((bpp + 1) / 8);
    state.halfWidth = static_cast<int16_t>(xRes / 2);
    state.halfHeight = static_cast<int16_t>(yRes / 2);
    projectionQuery();

    // xRes = 2^a + 2^b; widths not listed keep the pair they had.
    switch (xRes) {
    case 320:
        state.rowShiftA = 6, state.rowShiftB = 8;
        break;
    case 512:
        state.rowShiftA = 8, state.rowShiftB = 8;
        break;
    case 640:
        state.rowShiftA = 7, state.rowShiftB = 9;
        break;
    case 1024:
        state.rowShiftA = 9, state.rowShiftB = 9;
        break;
    case 1152:
        state.rowShiftA = 7, state.rowShiftB = 10;
        break;
    case 1280:
        state.rowShiftA = 8, state.rowShiftB = 10;
        break;
    default:
        break;
    }

    log("{OTable}: Allocating Z-buffer..", 2);
    state.zBuffer.reset();
    state.zBufferBytes = 0;
    // A negative width or height gives no Z-buffer at all.
    const long long bytes = xRes > 0 && yRes > 0 ? static_cast<long long>(xRes) * yRes * 4 : 0;
    if (bytes > 0) {
        state.zBuffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
        if (!state.zBuffer)
            throw Error(errOutOfMemory, "no memory for the " + std::to_string(xRes) + " x " +
                                            std::to_string(yRes) + " Z-buffer (" +
                                            std::to_string(bytes) + " bytes)");
        state.zBufferBytes = static_cast<size_t>(bytes);
    }
    state.zFactor = 1.0f;
}

const OTableValues& OTable::values() {
    return state;
}
