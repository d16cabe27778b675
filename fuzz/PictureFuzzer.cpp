// Fuzz target: one picture from bytes. The JPEG decoder reads the header and decodes what the
// header allows (at most the show's 640 x 240); then the same bytes are loaded as a picture of
// the show (OImage) from a pack holding them, as start-up does.
#include "MemoryFile.h"
#include "engine/Error.h"
#include "storage/FileServer.h"
#include "storage/JpegDecoder.h"
#include "storage/OImage.h"
#include "storage/PictureTable.h"
#include "tools/pack/PackFormat.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

void decodeDirectly(const uint8_t* data, size_t size) {
    static JpegDecoder decoder;
    static const bool ready = decoder.initialise() == 0;
    JpegDecoder::Header header;
    if (!ready || decoder.readHeader(data, size, header) != 0) return;
    const int width = std::min(header.width, pictureWidth);
    const int height = std::min(header.height, pictureHeight);
    if (width <= 0 || height <= 0) return;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    decoder.decode(data, size, pixels.data(), width, height);
}

void loadAsPicture(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes =
        pack::buildPack({{"data/dovari1.jpg", std::vector<uint8_t>(data, data + size)}});
    MemoryFile packFile(bytes.data(), bytes.size());
    if (!packFile.ok()) return;
    FileServer files(nullptr, 200);
    setProcessFileServer(&files);
    try {
        files.open(packFile.name());
        OImage picture("data/dovari1.jpg", -1, -1);
    } catch (const Error& error) {
        // A bad picture fails with errReadFile and a reason: what start-up turns into "Sorry.".
        if (error.reason().empty()) std::abort();
    }
    setProcessFileServer(nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeDirectly(data, size);
    loadAsPicture(data, size);
    return 0;
}
