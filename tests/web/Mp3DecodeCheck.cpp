// mp3-decode-check: the soundtrack decoded natively as the program sets libmpg123 up (signed
// 16-bit stereo at 44,100 Hz, quiet, no "Frankenstein" streams; media/SoundLibrary.cpp) and
// linked as the program links it, for the page's streaming decoder to be compared with sample
// for sample.
//
//   mp3-decode-check FILE OUT   writes the samples of FILE to OUT (interleaved little-endian
//                               16-bit)
#include <mpg123.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mp3-decode-check FILE OUT\n");
        return 2;
    }
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (handle == nullptr) {
        std::fprintf(stderr, "libmpg123: %s\n", mpg123_plain_strerror(error));
        return 1;
    }
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_NO_FRANKENSTEIN, 0.0);
    if (mpg123_format_none(handle) != MPG123_OK ||
        mpg123_format(handle, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open(handle, argv[1]) != MPG123_OK) {
        std::fprintf(stderr, "%s: libmpg123: %s\n", argv[1], mpg123_strerror(handle));
        mpg123_delete(handle);
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) {
        std::perror(argv[2]);
        mpg123_delete(handle);
        return 1;
    }
    std::fprintf(stderr, "%s: decoder %s\n", argv[1], mpg123_current_decoder(handle));
    unsigned char block[16384];
    int result = MPG123_OK;
    while (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
        size_t done = 0;
        result = mpg123_read(handle, block, sizeof block, &done);
        if (done > 0 && std::fwrite(block, 1, done, out) != done) result = MPG123_ERR;
    }
    const bool ended = result == MPG123_DONE;
    if (!ended) std::fprintf(stderr, "%s: libmpg123: %s\n", argv[1], mpg123_strerror(handle));
    mpg123_close(handle);
    mpg123_delete(handle);
    return std::fclose(out) == 0 && ended ? 0 : 1;
}
