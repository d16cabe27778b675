// jpeg-decode-check: the same decoder built natively and for the web must give the same pixels.
//
//   jpeg-decode-check make DIR         writes the test JPEGs (every chroma sampling, grey,
//                                      progressive, restart markers, arithmetic coding, odd
//                                      sizes, a truncated and a CMYK file) into DIR
//   jpeg-decode-check decode IN OUT    decodes every IN/*.jpg with the show's decoder into
//                                      OUT/NAME.rgb (RGB rows), or OUT/NAME.failed
#include "storage/JpegDecoder.h"

#include <jpeglib.h>

#include <cstdio>
#include <dirent.h>
#include <string>
#include <vector>

namespace {

struct Variant {
    std::string name;
    int width, height;
    int components; // 1 grey, 3 colour, 4 CMYK
    int h, v;       // luma sampling factors (chroma 1 x 1)
    bool progressive, arithmetic, optimise;
    int restartRows;
    int quality;
};

// A picture with edges, gradients and noise, so every coefficient band carries something.
std::vector<uint8_t> picture(int width, int height, int components) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * components);
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c) {
                seed = seed * 1103515245u + 12345u;
                const int edge = ((x / 7 + y / 5 + c) % 3 == 0) ? 90 : 0;
                const int value = (x * 255 / (width + 1) + y * (c + 1) * 3 + edge +
                                   static_cast<int>(seed >> 27)) %
                                  256;
                pixels[(static_cast<size_t>(y) * width + x) * components + c] =
                    static_cast<uint8_t>(value);
            }
    return pixels;
}

bool writeJpeg(const std::string& path, const Variant& v) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(v.width);
    info.image_height = static_cast<JDIMENSION>(v.height);
    info.input_components = v.components;
    info.in_color_space = v.components == 1   ? JCS_GRAYSCALE
                          : v.components == 3 ? JCS_RGB
                                              : JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, v.quality, TRUE);
    if (v.components == 3) {
        info.comp_info[0].h_samp_factor = v.h;
        info.comp_info[0].v_samp_factor = v.v;
    }
    if (v.progressive) jpeg_simple_progression(&info);
    info.arith_code = v.arithmetic ? TRUE : FALSE;
    info.optimize_coding = v.optimise ? TRUE : FALSE;
    info.restart_in_rows = v.restartRows;
    jpeg_start_compress(&info, TRUE);
    const std::vector<uint8_t> pixels = picture(v.width, v.height, v.components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            pixels.data() + static_cast<size_t>(info.next_scanline) * v.width * v.components);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

std::vector<Variant> variants() {
    std::vector<Variant> out;
    const int sampling[][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}, {4, 1}, {4, 2}, {3, 1}};
    const int sizes[][2] = {{640, 240}, {333, 111}, {17, 13}};
    for (const auto& size : sizes)
        for (const auto& s : sampling) {
            const std::string base = std::to_string(size[0]) + "x" + std::to_string(size[1]) + "-" +
                                     std::to_string(s[0]) + std::to_string(s[1]);
            out.push_back(
                {base + "-baseline", size[0], size[1], 3, s[0], s[1], false, false, false, 0, 75});
            out.push_back({base + "-progressive", size[0], size[1], 3, s[0], s[1], true, false,
                           false, 0, 90});
        }
    for (const auto& size : sizes) {
        const std::string base = std::to_string(size[0]) + "x" + std::to_string(size[1]);
        out.push_back({base + "-grey", size[0], size[1], 1, 1, 1, false, false, false, 0, 80});
        out.push_back(
            {base + "-grey-progressive", size[0], size[1], 1, 1, 1, true, false, false, 0, 60});
        out.push_back({base + "-restart", size[0], size[1], 3, 2, 2, false, false, false, 1, 85});
        out.push_back(
            {base + "-restart-progressive", size[0], size[1], 3, 2, 1, true, false, false, 2, 85});
        out.push_back({base + "-arithmetic", size[0], size[1], 3, 2, 2, false, true, false, 0, 70});
        out.push_back({base + "-optimised", size[0], size[1], 3, 1, 1, false, false, true, 0, 100});
        out.push_back(
            {base + "-low-quality", size[0], size[1], 3, 2, 2, false, false, false, 0, 5});
        out.push_back({base + "-cmyk", size[0], size[1], 4, 1, 1, false, false, false, 0, 75});
    }
    out.push_back({"1x1", 1, 1, 3, 2, 2, false, false, false, 0, 75});
    return out;
}

int make(const std::string& directory) {
    int written = 0;
    for (const Variant& v : variants()) {
        if (!writeJpeg(directory + "/" + v.name + ".jpg", v)) {
            std::fprintf(stderr, "cannot write %s/%s.jpg\n", directory.c_str(), v.name.c_str());
            return 1;
        }
        ++written;
    }
    // A colour picture cut off in its entropy-coded data.
    std::FILE* in = std::fopen((directory + "/640x240-22-baseline.jpg").c_str(), "rb");
    std::FILE* out = std::fopen((directory + "/truncated.jpg").c_str(), "wb");
    if (in == nullptr || out == nullptr) return 1;
    std::vector<uint8_t> bytes(6000);
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), in);
    std::fwrite(bytes.data(), 1, n, out);
    std::fclose(in);
    std::fclose(out);
    std::printf("%d test JPEGs in %s\n", written + 1, directory.c_str());
    return 0;
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    std::fclose(file);
    return true;
}

int decode(const std::string& in, const std::string& out) {
    DIR* directory = opendir(in.c_str());
    if (directory == nullptr) {
        std::fprintf(stderr, "cannot read %s\n", in.c_str());
        return 1;
    }
    int decoded = 0, failed = 0;
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".jpg") != 0) continue;
        std::vector<uint8_t> bytes;
        if (!readFile(in + "/" + name, bytes)) return 1;
        JpegDecoder decoder;
        JpegDecoder::Header header;
        std::vector<uint8_t> pixels;
        bool ok = decoder.initialise() == 0 &&
                  decoder.readHeader(bytes.data(), bytes.size(), header) == 0;
        if (ok) {
            pixels.resize(static_cast<size_t>(header.width) * header.height * 3);
            ok = decoder.decode(bytes.data(), bytes.size(), pixels.data(), header.width,
                                header.height) == 0;
        }
        const std::string stem = out + "/" + name.substr(0, name.size() - 4);
        std::FILE* file = std::fopen((stem + (ok ? ".rgb" : ".failed")).c_str(), "wb");
        if (file == nullptr) return 1;
        if (ok) std::fwrite(pixels.data(), 1, pixels.size(), file);
        std::fclose(file);
        ok ? ++decoded : ++failed;
    }
    closedir(directory);
    std::printf("%d decoded, %d refused\n", decoded, failed);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc == 3) return make(argv[2]);
    if (mode == "decode" && argc == 4) return decode(argv[2], argv[3]);
    std::fprintf(stderr, "usage: jpeg-decode-check make DIR | decode IN OUT\n");
    return 2;
}
