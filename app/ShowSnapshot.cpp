// Saving and restoring a show, its buffers compressed and shared.
#include "app/ShowSnapshot.h"

#include <zstd.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

uint8_t* showBuffer(Pictures& pictures, int number) {
    if (number == 0) return pictures.effectBuffer;
    if (number == showBufferCount - 1) return pictures.workBuffer;
    return pictures.imageBuffers[number - 1];
}

const uint8_t* showBuffer(const Pictures& pictures, int number) {
    return showBuffer(const_cast<Pictures&>(pictures), number);
}

namespace {

int canvasNumber(const Pictures& pictures, const uint8_t* canvas) {
    if (canvas == nullptr) return -1;
    for (int number = 0; number < showBufferCount; ++number)
        if (showBuffer(pictures, number) == canvas) return number;
    throw std::logic_error("a scene's canvas is not one of the show's buffers");
}

uint8_t* canvasBuffer(Pictures& pictures, int number) {
    if (number == -1) return nullptr;
    if (number < 0 || number >= showBufferCount)
        throw std::invalid_argument("a saved canvas names no buffer");
    return showBuffer(pictures, number);
}

} // namespace

ShowState saveState(const Show& show) {
    ShowState state;
    state.random = show.random;
    state.sceneIndex = show.sceneIndex;
    state.scene = show.sceneState;
    state.canvas7 = canvasNumber(show.pictures, show.sceneState.canvas7);
    state.canvas8 = canvasNumber(show.pictures, show.sceneState.canvas8);
    state.scene.canvas7 = nullptr;
    state.scene.canvas8 = nullptr;
    state.effects = show.effects;
    return state;
}

void restoreState(const ShowState& state, Show& show) {
    if (state.sceneIndex < 0 || state.sceneIndex > sceneCount)
        throw std::invalid_argument("a saved scene index out of range");
    uint8_t* const canvas7 = canvasBuffer(show.pictures, state.canvas7);
    uint8_t* const canvas8 = canvasBuffer(show.pictures, state.canvas8);
    show.random = state.random;
    show.sceneIndex = state.sceneIndex;
    show.sceneState = state.scene;
    show.sceneState.canvas7 = canvas7;
    show.sceneState.canvas8 = canvas8;
    show.effects = state.effects;
}

namespace {

constexpr int rowBytes = pictureWidth * 4;
// Rows 0-241 are all the effects use (the picture and its two spare rows); the rest stays
// zero in practice and is then not stored.
constexpr int usedRows = pictureHeight + 2;

bool zeroFrom(const uint8_t* buffer, int row) {
    static const uint8_t zeroRow[rowBytes] = {};
    for (int y = row; y < bufferBytes / rowBytes; ++y)
        if (std::memcmp(buffer + y * rowBytes, zeroRow, rowBytes) != 0) return false;
    return true;
}

// Byte c of every pixel as plane c, each byte the difference (modulo 256) from the same byte
// of the pixel before: neighbouring pixels of a picture are alike, and the compressor finds far
// more repeats in the differences than in the pixels. `pixels` is a multiple of 16.
void splitPlanes(const uint8_t* buffer, int pixels, uint8_t* planes);
// The pixels back from their planes of differences.
void joinPlanes(const uint8_t* planes, int pixels, uint8_t* buffer);

#ifdef __SSE2__

// Four vectors of four pixels each to four vectors of sixteen bytes, one per byte of a pixel.
void toPlanes(__m128i v[4]) {
    const __m128i w0 = _mm_unpacklo_epi8(v[0], v[1]), w1 = _mm_unpackhi_epi8(v[0], v[1]);
    const __m128i w2 = _mm_unpacklo_epi8(v[2], v[3]), w3 = _mm_unpackhi_epi8(v[2], v[3]);
    const __m128i x0 = _mm_unpacklo_epi8(w0, w1), x1 = _mm_unpackhi_epi8(w0, w1);
    const __m128i x2 = _mm_unpacklo_epi8(w2, w3), x3 = _mm_unpackhi_epi8(w2, w3);
    const __m128i y0 = _mm_unpacklo_epi8(x0, x1), y1 = _mm_unpackhi_epi8(x0, x1);
    const __m128i y2 = _mm_unpacklo_epi8(x2, x3), y3 = _mm_unpackhi_epi8(x2, x3);
    v[0] = _mm_unpacklo_epi64(y0, y2);
    v[1] = _mm_unpackhi_epi64(y0, y2);
    v[2] = _mm_unpacklo_epi64(y1, y3);
    v[3] = _mm_unpackhi_epi64(y1, y3);
}

// The inverse of toPlanes.
void fromPlanes(__m128i p[4]) {
    const __m128i a = _mm_unpacklo_epi8(p[0], p[1]), b = _mm_unpackhi_epi8(p[0], p[1]);
    const __m128i c = _mm_unpacklo_epi8(p[2], p[3]), d = _mm_unpackhi_epi8(p[2], p[3]);
    p[0] = _mm_unpacklo_epi16(a, c);
    p[1] = _mm_unpackhi_epi16(a, c);
    p[2] = _mm_unpacklo_epi16(b, d);
    p[3] = _mm_unpackhi_epi16(b, d);
}

void splitPlanes(const uint8_t* buffer, int pixels, uint8_t* planes) {
    __m128i previous = _mm_setzero_si128();
    for (int i = 0; i < pixels; i += 16) {
        __m128i v[4];
        for (int j = 0; j < 4; ++j) {
            const __m128i pixelsNow =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(buffer + (i + 4 * j) * 4));
            const __m128i before =
                _mm_or_si128(_mm_slli_si128(pixelsNow, 4), _mm_srli_si128(previous, 12));
            v[j] = _mm_sub_epi8(pixelsNow, before);
            previous = pixelsNow;
        }
        toPlanes(v);
        for (int c = 0; c < 4; ++c)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(planes + c * pixels + i), v[c]);
    }
}

void joinPlanes(const uint8_t* planes, int pixels, uint8_t* buffer) {
    __m128i previous = _mm_setzero_si128();
    for (int i = 0; i < pixels; i += 16) {
        __m128i v[4];
        for (int c = 0; c < 4; ++c)
            v[c] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(planes + c * pixels + i));
        fromPlanes(v);
        for (int j = 0; j < 4; ++j) {
            // Running sums over the four pixels, then the last pixel of the vector before.
            __m128i sum = _mm_add_epi8(v[j], _mm_slli_si128(v[j], 4));
            sum = _mm_add_epi8(sum, _mm_slli_si128(sum, 8));
            sum = _mm_add_epi8(sum, _mm_shuffle_epi32(previous, 0xFF));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer + (i + 4 * j) * 4), sum);
            previous = sum;
        }
    }
}

#else

void splitPlanes(const uint8_t* buffer, int pixels, uint8_t* planes) {
    uint8_t previous[4] = {};
    for (int i = 0; i < pixels; ++i) {
        for (int c = 0; c < 4; ++c) {
            const uint8_t value = buffer[i * 4 + c];
            planes[c * pixels + i] = static_cast<uint8_t>(value - previous[c]);
            previous[c] = value;
        }
    }
}

void joinPlanes(const uint8_t* planes, int pixels, uint8_t* buffer) {
    uint8_t previous[4] = {};
    for (int i = 0; i < pixels; ++i) {
        for (int c = 0; c < 4; ++c) {
            previous[c] = static_cast<uint8_t>(previous[c] + planes[c * pixels + i]);
            buffer[i * 4 + c] = previous[c];
        }
    }
}

#endif

constexpr int compressionLevel = 1;

} // namespace

PackedBuffer::PackedBuffer(const uint8_t* buffer) {
    rows = zeroFrom(buffer, usedRows) ? usedRows : bufferBytes / rowBytes;
    const size_t size = static_cast<size_t>(rows) * rowBytes;
    // Scratch that is written whole before it is read: not zero-filled first.
    const std::unique_ptr<uint8_t[]> planes(new uint8_t[size]);
    splitPlanes(buffer, rows * pictureWidth, planes.get());
    data.resize(ZSTD_compressBound(size));
    const size_t packed =
        ZSTD_compress(data.data(), data.size(), planes.get(), size, compressionLevel);
    if (ZSTD_isError(packed)) throw std::runtime_error("a picture buffer could not be compressed");
    data.resize(packed);
    data.shrink_to_fit();
}

PackedBuffer::PackedBuffer(int rows, std::vector<uint8_t> bytes)
    : rows(rows), data(std::move(bytes)) {
    if (rows != usedRows && rows != bufferBytes / rowBytes)
        throw std::invalid_argument("a stored buffer with an unknown number of rows");
    const size_t size = static_cast<size_t>(rows) * rowBytes;
    if (ZSTD_getFrameContentSize(data.data(), data.size()) != size ||
        ZSTD_findFrameCompressedSize(data.data(), data.size()) != data.size())
        throw std::invalid_argument("stored bytes that are not one compressed buffer");
}

// The stored rows, as pixels, into `pixels` (storedRows x rowBytes).
void PackedBuffer::unpackRows(uint8_t* pixels) const {
    const size_t size = static_cast<size_t>(rows) * rowBytes;
    const std::unique_ptr<uint8_t[]> planes(new uint8_t[size]);
    const size_t unpacked = ZSTD_decompress(planes.get(), size, data.data(), data.size());
    if (ZSTD_isError(unpacked) || unpacked != size)
        throw std::runtime_error("a stored picture buffer is damaged");
    joinPlanes(planes.get(), rows * pictureWidth, pixels);
}

void PackedBuffer::unpack(uint8_t* buffer) const {
    unpackRows(buffer);
    const size_t size = static_cast<size_t>(rows) * rowBytes;
    zeroFill(buffer + size, bufferBytes - size);
}

bool PackedBuffer::holds(const uint8_t* buffer) const {
    if (!zeroFrom(buffer, rows)) return false;
    const size_t size = static_cast<size_t>(rows) * rowBytes;
    const std::unique_ptr<uint8_t[]> pixels(new uint8_t[size]);
    unpackRows(pixels.get());
    return std::memcmp(pixels.get(), buffer, size) == 0;
}

ShowSnapshot takeSnapshot(const Show& show, int64_t frame) {
    ShowSnapshot snapshot;
    snapshot.frame = frame;
    snapshot.state = saveState(show);
    for (int number = 0; number < showBufferCount; ++number)
        snapshot.buffers[number] =
            std::make_shared<const PackedBuffer>(showBuffer(show.pictures, number));
    return snapshot;
}

void restoreSnapshot(const ShowSnapshot& snapshot, Show& show) {
    for (int number = 0; number < showBufferCount; ++number) {
        if (snapshot.buffers[number] == nullptr)
            throw std::invalid_argument("a snapshot without all its buffers");
        snapshot.buffers[number]->unpack(showBuffer(show.pictures, number));
    }
    restoreState(snapshot.state, show);
}

ShowSnapshot SnapshotWriter::take(const Show& show, int64_t frame) {
    ShowSnapshot snapshot;
    snapshot.frame = frame;
    snapshot.state = saveState(show);
    for (int number = 0; number < showBufferCount; ++number) {
        const uint8_t* buffer = showBuffer(show.pictures, number);
        std::vector<uint8_t>& kept = lastBytes[number];
        // The rows the last buffer stored are kept; those after them were zero.
        const bool same = last[number] != nullptr &&
                          (keepCopies ? std::memcmp(kept.data(), buffer, kept.size()) == 0 &&
                                            zeroFrom(buffer, last[number]->storedRows())
                                      : last[number]->holds(buffer));
        if (same) {
            ++sharedCount;
        } else {
            last[number] = std::make_shared<const PackedBuffer>(buffer);
            if (keepCopies)
                kept.assign(buffer,
                            buffer + static_cast<size_t>(last[number]->storedRows()) * rowBytes);
            stored += last[number]->bytes();
            ++storedCount;
        }
        snapshot.buffers[number] = last[number];
    }
    return snapshot;
}

namespace {

static_assert(std::is_trivially_copyable<ShowState>::value, "a show's state is sent as its bytes");

// "SNP1": the kind of bytes encodeSnapshot makes, then the size of the state, which changes
// with any change of the show's state.
constexpr uint32_t snapshotMagic = 0x31504e53;
constexpr int32_t sharedMark = 0; // a buffer's rows: the previous snapshot's buffer

class Writer {
  public:
    template <class T> void put(const T& value) { putBytes(&value, sizeof value); }
    void putBytes(const void* from, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(from);
        out.insert(out.end(), bytes, bytes + size);
    }
    std::vector<uint8_t> out;
};

class Reader {
  public:
    Reader(const uint8_t* bytes, size_t size) : at(bytes), left(size) {}
    template <class T> T get() {
        T value;
        getBytes(&value, sizeof value);
        return value;
    }
    void getBytes(void* to, size_t size) {
        if (size > left) throw std::invalid_argument("a snapshot's bytes end too soon");
        std::memcpy(to, at, size);
        at += size;
        left -= size;
    }
    size_t remaining() const { return left; }

  private:
    const uint8_t* at;
    size_t left;
};

// Whether the byte that holds a bool is one of the two a bool may hold.
bool isBool(const bool& value) {
    uint8_t byte;
    std::memcpy(&byte, &value, 1);
    return byte <= 1;
}

} // namespace

std::vector<uint8_t> encodeSnapshot(const ShowSnapshot& snapshot, const ShowSnapshot* previous) {
    Writer writer;
    writer.put(snapshotMagic);
    writer.put(static_cast<uint32_t>(sizeof(ShowState)));
    writer.put(snapshot.frame);
    writer.put(snapshot.state);
    for (int number = 0; number < showBufferCount; ++number) {
        const std::shared_ptr<const PackedBuffer>& buffer = snapshot.buffers[number];
        if (buffer == nullptr) throw std::invalid_argument("a snapshot without all its buffers");
        if (previous != nullptr && previous->buffers[number] == buffer) {
            writer.put(sharedMark);
            continue;
        }
        writer.put(static_cast<int32_t>(buffer->storedRows()));
        writer.put(static_cast<uint32_t>(buffer->storedBytes().size()));
        writer.putBytes(buffer->storedBytes().data(), buffer->storedBytes().size());
    }
    return std::move(writer.out);
}

ShowSnapshot decodeSnapshot(const uint8_t* bytes, size_t size, const ShowSnapshot* previous) {
    Reader reader(bytes, size);
    if (reader.get<uint32_t>() != snapshotMagic || reader.get<uint32_t>() != sizeof(ShowState))
        throw std::invalid_argument("bytes that are not a snapshot of this show");
    ShowSnapshot snapshot;
    snapshot.frame = reader.get<int64_t>();
    reader.getBytes(&snapshot.state, sizeof(ShowState));
    ShowState& state = snapshot.state;
    if (snapshot.frame < 0 || !isBool(state.scene.canvasSaved) ||
        !isBool(state.effects.pixelCrawl.crawlBlendOn) || state.sceneIndex < 0 ||
        state.sceneIndex > sceneCount || state.canvas7 < -1 || state.canvas7 >= showBufferCount ||
        state.canvas8 < -1 || state.canvas8 >= showBufferCount)
        throw std::invalid_argument("a snapshot's state out of range");
    state.scene.canvas7 = nullptr; // the canvases travel as buffer numbers
    state.scene.canvas8 = nullptr;
    for (int number = 0; number < showBufferCount; ++number) {
        const int32_t rows = reader.get<int32_t>();
        if (rows == sharedMark) {
            if (previous == nullptr || previous->buffers[number] == nullptr)
                throw std::invalid_argument("a shared buffer without a snapshot to share it with");
            snapshot.buffers[number] = previous->buffers[number];
            continue;
        }
        const uint32_t length = reader.get<uint32_t>();
        if (length > reader.remaining())
            throw std::invalid_argument("a snapshot's bytes end too soon");
        std::vector<uint8_t> packed(length);
        reader.getBytes(packed.data(), length);
        snapshot.buffers[number] = std::make_shared<const PackedBuffer>(rows, std::move(packed));
    }
    if (reader.remaining() != 0) throw std::invalid_argument("bytes after a snapshot");
    return snapshot;
}
