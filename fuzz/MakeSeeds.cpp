// Writes the fuzz targets' seed inputs from a generated asset folder (make-assets output):
// small packs cut from its pack, a few of its pictures and small JPEGs, pieces of its
// soundtrack and short tones, and small seek index files of a show without pictures. Nothing
// large is kept in the repository; the seeds are rebuilt.
//
//   make-fuzz-seeds ASSET_DIR OUT_DIR   writes OUT_DIR/pack, OUT_DIR/picture, OUT_DIR/soundtrack,
//                                       OUT_DIR/seekindex
#include "SeekFuzzKey.h"
#include "app/ShowClock.h"
#include "tools/make-assets/JpegEncoder.h"
#include "tools/mp3encode/Mp3Encode.h"
#include "tools/pack/PackFormat.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool writeSeed(const fs::path& folder, const std::string& name, const Bytes& bytes) {
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

Bytes head(const Bytes& bytes, size_t count) {
    return Bytes(bytes.begin(),
                 bytes.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes.size())));
}

// A width x height picture with gradients in every channel.
Bytes smallJpeg(int width, int height, int channels, bool fullChroma) {
    Bytes pixels(static_cast<size_t>(width) * height * channels);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 37 / 3);
    return encodeJpeg(pixels.data(), width, height, channels, 75, fullChroma);
}

// A seek index file of a show without pictures (its buffers nearly all zero, so the file stays
// small), with snapshots at these frames; false when it cannot be written.
bool seekIndexSeed(const fs::path& folder, const std::string& name,
                   const std::vector<int64_t>& frames) {
    fs::create_directories(folder);
    auto show = std::make_unique<Show>();
    SnapshotWriter writer;
    std::vector<ShowSnapshot> snapshots;
    int64_t frame = 0;
    for (const int64_t wanted : frames) {
        for (; frame < wanted; ++frame)
            show->step(videoFrameTime(frame), {nullptr, 640 * 4});
        snapshots.push_back(writer.take(*show, frame));
    }
    std::string why;
    return writeSeekIndexFile((folder / name).string(), seekFuzzKey(), snapshots, why);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-fuzz-seeds ASSET_DIR OUT_DIR\n");
        return 2;
    }
    const fs::path assets = argv[1], out = argv[2];
    const Bytes packBytes = readAll(assets / "_.dat");
    const Bytes soundtrack = readAll(assets / "velmorin.mp3");
    std::vector<pack::ListedEntry> listed;
    std::string error;
    if (!pack::readDirectory(packBytes, listed, error) || listed.size() < 2 || soundtrack.empty()) {
        std::fprintf(stderr, "make-fuzz-seeds: no usable assets in %s (%s)\n", argv[1],
                     error.c_str());
        return 1;
    }
    auto entryBytes = [&](size_t k) {
        const auto begin = packBytes.begin() + listed[k].offset;
        return Bytes(begin, begin + listed[k].size);
    };
    const Bytes first = entryBytes(0), second = entryBytes(1);

    bool ok = true;
    const fs::path packs = out / "pack";
    ok &= writeSeed(packs, "one-picture.dat", pack::buildPack({{listed[0].name, first}}));
    ok &= writeSeed(packs, "two-cut-entries.dat",
                    pack::buildPack({{listed[0].name, head(first, 64)},
                                     {listed[1].name, head(second, 32)},
                                     {"empty", {}}}));
    // The real directory with the files cut short: every entry reaches past the end.
    ok &= writeSeed(packs, "directory-only.dat",
                    head(packBytes, static_cast<size_t>(listed[0].offset) + 16));

    const fs::path pictures = out / "picture";
    ok &= writeSeed(pictures, "show-picture.jpg", first);
    ok &= writeSeed(pictures, "colour-16x8.jpg", smallJpeg(16, 8, 3, false));
    ok &= writeSeed(pictures, "grey-24x16.jpg", smallJpeg(24, 16, 1, false));
    ok &= writeSeed(pictures, "colour-32x16-444.jpg", smallJpeg(32, 16, 3, true));

    const fs::path sounds = out / "soundtrack";
    ok &= writeSeed(sounds, "soundtrack-start.mp3", head(soundtrack, 4096));
    ok &= writeSeed(sounds, "tone-mono-22050.mp3",
                    encodeMp3(makeTone(22050, 1, 0.2, 440.0), 22050, 1, 32, false));
    ok &= writeSeed(sounds, "tone-stereo-id3.mp3",
                    encodeMp3(makeTone(44100, 2, 0.1, 440.0), 44100, 2, 64, true));
    const fs::path indexes = out / "seekindex";
    ok &= seekIndexSeed(indexes, "one-snapshot.seek", {0});
    ok &= seekIndexSeed(indexes, "two-snapshots.seek", {0, 3});
    if (!ok) {
        std::fprintf(stderr, "make-fuzz-seeds: cannot write into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
