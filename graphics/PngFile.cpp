// Frames as PNG files through libpng's simplified interface, which reports its failures in
// the image record instead of jumping out of the caller.
#include "graphics/PngFile.h"

#include <png.h>

bool writePng(const std::string& path, const uint8_t* pixels24, int width, int height,
              std::string& why) {
    if (pixels24 == nullptr || width <= 0 || height <= 0) {
        why = "no picture to write";
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_BGR;
    if (png_image_write_to_file(&image, path.c_str(), 0, pixels24, 0, nullptr) != 0) return true;
    why = image.message[0] != '\0' ? image.message : "libpng could not write it";
    png_image_free(&image);
    return false;
}
