// OImage: one JPEG picture from the FileServer, decoded into 3-byte RGB pixels.
#pragma once

#include "storage/PictureTable.h"

#include <cstdint>
#include <memory>
#include <string>

class ExceptionType;

class OImage {
  public:
    // Every picture of the show is pictureWidth x pictureHeight (storage/PictureTable.h). A JPEG
    // smaller than this cannot be used (the image preparation reads exactly this many pixels);
    // of a larger one only the top-left pictureWidth x pictureHeight pixels are kept.

    // Loads path from the process's FileServer. width and height -1 mean the picture's own.
    // Throws Error(errImageReader) when the JPEG library cannot be initialised,
    // Error(errReadFile) (the path as the entry's detail) for a missing, unreadable, too small
    // or non-RGB/grey picture, Error(errOutOfMemory); the reason is libjpeg-turbo's message,
    // the pack's (missing, outside the pack) or the size found.
    OImage(const std::string& path, int32_t width, int32_t height);
    OImage(const OImage&) = delete;
    OImage& operator=(const OImage&) = delete;
    ~OImage();

    // pictureWidth x pictureHeight pixels, rows top to bottom, bytes red, green, blue.
    const uint8_t* getPixels() const { return pixels.get(); }
    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }
    int32_t getFileSize() const { return fileSize; }
    bool isConstructed() const { return constructed; }

    // Pictures loaded successfully in this process so far.
    static int32_t getUsageCount();

  private:
    void load(const std::string& path, int32_t width, int32_t height);
    // Logs the progress text with "Failed!" appended and throws Error(error, reason) (with the
    // path as the entry's detail when withDetail).
    [[noreturn]] void fail(std::string& progress, ExceptionType& error, bool withDetail,
                           const std::string& reason);

    bool constructed = false;
    std::unique_ptr<uint8_t[]> pixels;     // pictureWidth x pictureHeight x 3 bytes
    std::unique_ptr<uint8_t[]> ownedBytes; // the JPEG bytes when the pack handed us a copy
    const uint8_t* fileBytes = nullptr;    // the JPEG file, kept for the object's life
    std::string path;
    int32_t fileSize = 0; // bytes
    int32_t width = 0;    // pixels
    int32_t height = 0;   // pixels
};
