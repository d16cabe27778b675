// libjpeg-turbo compression into a memory block, with the library's failures turned into
// exceptions at this boundary.
#include "tools/make-assets/JpegEncoder.h"

#include <csetjmp>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr library;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr common) {
    ErrorManager* error = reinterpret_cast<ErrorManager*>(common->err);
    (*common->err->format_message)(common, error->text);
    std::longjmp(error->jump, 1);
}

void outputMessage(j_common_ptr) {}

// All library state lives in plain C objects so that a jump back skips no destructor; returns
// false with error->text set on failure. *out is a malloc'd block the caller frees.
bool compress(jpeg_compress_struct* info, ErrorManager* error, const uint8_t* pixels, int width,
              int height, int channels, int quality, bool fullChroma, unsigned char** out,
              unsigned long* outSize) {
    info->err = jpeg_std_error(&error->library);
    error->library.error_exit = &errorExit;
    error->library.output_message = &outputMessage;
    if (setjmp(error->jump)) {
        jpeg_destroy_compress(info);
        return false;
    }
    jpeg_create_compress(info);
    jpeg_mem_dest(info, out, outSize);
    info->image_width = static_cast<JDIMENSION>(width);
    info->image_height = static_cast<JDIMENSION>(height);
    info->input_components = channels;
    info->in_color_space = channels == 1 ? JCS_GRAYSCALE : channels == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, quality, TRUE);
    if (fullChroma && channels == 3) {
        for (int c = 0; c < 3; ++c) {
            info->comp_info[c].h_samp_factor = 1;
            info->comp_info[c].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(info, TRUE);
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
    while (info->next_scanline < info->image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(pixels + static_cast<size_t>(info->next_scanline) * rowBytes);
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    jpeg_destroy_compress(info);
    return true;
}

} // namespace

std::vector<uint8_t> encodeJpeg(const uint8_t* pixels, int width, int height, int channels,
                                int quality, bool fullChroma) {
    if (width <= 0 || height <= 0 || (channels != 1 && channels != 3 && channels != 4))
        throw std::runtime_error("encodeJpeg: unsupported picture shape");
    jpeg_compress_struct info{};
    ErrorManager error{};
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const bool ok = compress(&info, &error, pixels, width, height, channels, quality, fullChroma,
                             &out, &outSize);
    std::vector<uint8_t> bytes;
    if (ok) bytes.assign(out, out + outSize);
    std::free(out);
    if (!ok) throw std::runtime_error(std::string("encodeJpeg: ") + error.text);
    return bytes;
}
