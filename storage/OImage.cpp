// OImage: loads a JPEG picture from the FileServer and decodes it through JpegDecoder.
#include "storage/OImage.h"

#include "engine/DebugServer.h"
#include "engine/Error.h"
#include "engine/Exception.h"
#include "storage/FileServer.h"
#include "storage/JpegDecoder.h"

#include <new>

namespace {

// Shared by every picture of the process.
std::unique_ptr<JpegDecoder> decoder; // the decoder record, set up while the usage count is 0
int32_t usageCount = 0;               // pictures loaded successfully so far

void log(const std::string& text, int8_t level) {
    if (DebugServer* server = processDebugServer()) server->log(text.c_str(), level);
}

} // namespace

OImage::OImage(const std::string& path, int32_t width, int32_t height) {
    constructed = false;
    log("{OImage::OImage()}: Allocating resources...", 0);
    load(path, width, height);
    log("{OImage::OImage()}: Done.", 0);
    constructed = true;
}

OImage::~OImage() = default;

int32_t OImage::getUsageCount() {
    return usageCount;
}

void OImage::fail(std::string& progress, ExceptionType& error, bool withDetail,
                  const std::string& reason) {
    progress += "Failed!";
    log(progress, 0);
    if (withDetail) error.setDetail(path.c_str());
    throw Error(error, reason);
}

void OImage::load(const std::string& requestedPath, int32_t w, int32_t h) {
    std::string progress = "{OImage::OImage()}: Reading " + requestedPath + "...";
    path = requestedPath;

    if (usageCount == 0) {
        log("{OImage::OImage()}: Usage count equals zero - allocating shared data...", 5);
        decoder.reset(new (std::nothrow) JpegDecoder);
        if (!decoder) fail(progress, errImageReader, false, "no memory for the JPEG decoder");
        if (decoder->initialise() != 0) {
            const std::string why = decoder->failure();
            decoder.reset();
            fail(progress, errImageReader, false, why);
        }
        decoder->setMessageSink(
            [](const std::string& text) { log("{OImage::OImage()}: JPEG library: " + text, 8); });
    }

    // A picture the FileServer does not have arrives as no bytes and size -1 and fails at the
    // header read. In pack mode each request hands out a new block, which this object owns.
    FileServer* files = processFileServer();
    const bool ownsBlock = packMode;
    std::string missing = "no FileServer to load it from";
    uint8_t* block = files != nullptr ? files->getFile(path, &missing) : nullptr;
    if (ownsBlock) ownedBytes.reset(block);
    fileBytes = block;
    fileSize = files != nullptr ? files->getFileSize(path) : -1;

    JpegDecoder::Header header;
    if (fileBytes == nullptr) fail(progress, errReadFile, true, missing);
    if (fileSize <= 0)
        fail(progress, errReadFile, true, "no JPEG data (" + std::to_string(fileSize) + " bytes)");
    if (decoder->readHeader(fileBytes, static_cast<size_t>(fileSize), header) != 0)
        fail(progress, errReadFile, true, decoder->failure());
    // The image preparation reads exactly pictureWidth x pictureHeight pixels: a smaller picture
    // would be read past its end.
    if (header.width < pictureWidth || header.height < pictureHeight)
        fail(progress, errReadFile, true,
             "the picture is " + std::to_string(header.width) + " x " +
                 std::to_string(header.height) + ", smaller than the show's " +
                 std::to_string(pictureWidth) + " x " + std::to_string(pictureHeight));

    width = w == -1 ? pictureWidth : w;
    height = h == -1 ? pictureHeight : h;

    const size_t pixelBytes = static_cast<size_t>(pictureWidth) * pictureHeight * 3;
    pixels.reset(new (std::nothrow) uint8_t[pixelBytes]);
    if (!pixels)
        throw Error(errOutOfMemory,
                    "no memory for the " + std::to_string(pixelBytes) + " bytes of " + path);

    // Grey and colour JPEGs decode to RGB; any other channel count (CMYK) fails here.
    if (decoder->decode(fileBytes, static_cast<size_t>(fileSize), pixels.get(), pictureWidth,
                        pictureHeight) != 0)
        fail(progress, errReadFile, true, decoder->failure());

    progress += "Done! (" + std::to_string(fileSize) + " bytes read.)";
    log(progress, 6);
    ++usageCount;
}
