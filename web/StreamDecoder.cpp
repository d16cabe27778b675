// The soundtrack decoded as its bytes arrive: libmpg123's feed interface under C functions the
// page calls (web/stream-music.js), with the program's output format (signed 16-bit stereo at
// 44,100 Hz, mono doubled, other rates resampled by libmpg123) and its flags, so the samples
// equal the program's own decode. No show logic here: the page says what to feed and where to
// go, the decoder says what it made and what it needs.
//
//   mp3Open(totalBytes)          a decoder for a file of that many bytes (0: unknown); null
//                                when libmpg123 cannot start
//   mp3Feed(d, bytes, count)     hands over the next bytes of the file; 0, or -1 (mp3Error)
//   mp3Read(d, out, capacity)    decodes into out (capacity bytes, a multiple of 4); the bytes
//                                made; mp3Status then says why it stopped short
//   mp3Status(d)                 0 more may come, 1 needs more bytes, 2 at the end, 3 failed,
//                                4 the next bytes must come from elsewhere (mp3InputOffset)
//   mp3EndOfInput(d)             the file has no more bytes: what is fed decodes to its end
//   mp3Seek(d, sample)           goes to sample frame `sample` (of the output); the byte offset
//                                of the file the next fed bytes must come from, or -1
//   mp3InputOffset(d)            that offset: where the next fed bytes come from in the file
//   mp3Error(d)                  why it failed, in libmpg123's words where it has any
//   mp3Close(d)                  frees the decoder
//
// Seeking back finds the frame in libmpg123's index of the frames read so far; seeking beyond
// them reads on from the last one. A frame indexer fed the whole file (by the page, while the
// show plays) lets seeks go straight to any frame:
//
//   mp3IndexOpen()               an indexer: it parses the file's frames without decoding
//   mp3IndexFeed(x, bytes, n)    the next bytes of the file; 0, or -1 when it cannot go on
//   mp3IndexFrames(x)            frames found so far
//   mp3UseIndex(d, x)            the decoder takes the indexer's frame positions at its seeks
//   mp3IndexClose(x)             frees the indexer (mp3UseIndex(d, 0) first)
//
// The decoder names libmpg123's plain C decoder, which every build of the library has, so the
// page gives the same samples on any machine. (The program's library picks its decoder by
// processor; its samples may differ from these by one step now and then.)
#include "media/InfoFrame.h"

#include <mpg123.h>

#include <emscripten.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr long outputRate = 44100;
// Bytes of the file that may pass before its first frame is found (as libmpg123 looks for
// one in at most the first 64 KiB after an ID3v2 tag): after that the probe gives up.
constexpr size_t probeLimit = 1 << 20;
// Seeks to a sample before this one start the decoder afresh (a quarter of a second).
constexpr int64_t restartBelow = outputRate / 4;

// The frame count an Info (Xing) first frame claims, -1 for none; as the program reads it.
int64_t claimedFrames(mpg123_handle* probe) {
    unsigned long header = 0;
    unsigned char* body = nullptr;
    size_t bytes = 0;
    if (mpg123_framedata(probe, &header, &body, &bytes) != MPG123_OK) return -1;
    return infoFrameCount(header, body, bytes);
}

struct Handle {
    void operator()(mpg123_handle* handle) const {
        if (handle == nullptr) return;
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

} // namespace

struct FrameIndexer {
    mpg123_handle* parser = nullptr;
    double frames = 0;
    bool failed = false;
    ~FrameIndexer() { Handle()(parser); }
};

struct StreamDecoder {
    enum Status { More = 0, NeedsInput = 1, Ended = 2, Failed = 3, Reposition = 4 };

    double totalBytes = 0;
    int64_t inputOffset = 0;         // the file's byte the next fed byte is
    int64_t pendingSeek = -1;        // a sample to go to once libmpg123 has seen the first frame
    FrameIndexer* indexer = nullptr; // not owned
    bool trackKnown = false;         // the decoder has read its first frame
    mpg123_handle* decoder = nullptr;
    // Until the first frame is seen the bytes go to a probe as well and are kept: whether the
    // Info frame's claim can be believed decides the decoder's flags before it reads.
    mpg123_handle* probe = nullptr;
    std::vector<unsigned char> early;
    bool inputEnded = false;
    Status status = More;
    std::string error;

    ~StreamDecoder() {
        Handle()(decoder);
        Handle()(probe);
    }

    bool fail(const std::string& why) {
        status = Failed;
        error = why;
        return false;
    }
    std::string libraryError(mpg123_handle* handle) {
        return std::string("libmpg123: ") + mpg123_strerror(handle);
    }

    // A fresh start: the probe again, from the file's first byte.
    bool openProbe() {
        Handle()(decoder);
        decoder = nullptr;
        Handle()(probe);
        early.clear();
        trackKnown = false;
        inputOffset = 0;
        inputEnded = false;
        status = More;
        int code = MPG123_OK;
        probe = mpg123_new("generic", &code);
        if (probe == nullptr) return fail(std::string("libmpg123: ") + mpg123_plain_strerror(code));
        mpg123_param(probe, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0.0);
        if (mpg123_open_feed(probe) != MPG123_OK) return fail(libraryError(probe));
        return true;
    }

    bool openDecoder(bool ignoreClaim) {
        int code = MPG123_OK;
        decoder = mpg123_new("generic", &code);
        if (decoder == nullptr)
            return fail(std::string("libmpg123: ") + mpg123_plain_strerror(code));
        long flags = MPG123_QUIET | MPG123_NO_FRANKENSTEIN;
        if (ignoreClaim) flags |= MPG123_IGNORE_STREAMLENGTH;
        mpg123_param(decoder, MPG123_ADD_FLAGS, flags, 0.0);
        if (mpg123_format_none(decoder) != MPG123_OK ||
            mpg123_format(decoder, outputRate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
            mpg123_open_feed(decoder) != MPG123_OK)
            return fail(libraryError(decoder));
        if (totalBytes > 0) mpg123_set_filesize(decoder, static_cast<off_t>(totalBytes));
        return true;
    }

    // Feeds the probe; opens the decoder once the first frame (or its absence) is known.
    bool feedProbe(const unsigned char* bytes, size_t count) {
        early.insert(early.end(), bytes, bytes + count);
        if (mpg123_feed(probe, bytes, count) != MPG123_OK) return fail(libraryError(probe));
        const int next = mpg123_framebyframe_next(probe);
        const bool found = next == MPG123_OK || next == MPG123_NEW_FORMAT;
        if (!found && next == MPG123_NEED_MORE && early.size() < probeLimit && !inputEnded)
            return true;
        // A claim beyond a quarter of the file's bytes is false (every frame has a 4-byte
        // header); unknown sizes believe it.
        const int64_t claim = found ? claimedFrames(probe) : -1;
        const bool ignoreClaim = totalBytes > 0 && claim > static_cast<int64_t>(totalBytes / 4);
        Handle()(probe);
        probe = nullptr;
        if (!openDecoder(ignoreClaim)) return false;
        std::vector<unsigned char> kept;
        kept.swap(early);
        if (!kept.empty() && mpg123_feed(decoder, kept.data(), kept.size()) != MPG123_OK)
            return fail(libraryError(decoder));
        return true;
    }

    // The indexer's frame positions, when it knows more frames than the decoder does.
    void adoptIndex() {
        if (indexer == nullptr || decoder == nullptr) return;
        off_t* known = nullptr;
        off_t knownStep = 0;
        size_t knownFill = 0;
        off_t* own = nullptr;
        off_t ownStep = 0;
        size_t ownFill = 0;
        if (mpg123_index(indexer->parser, &known, &knownStep, &knownFill) != MPG123_OK ||
            mpg123_index(decoder, &own, &ownStep, &ownFill) != MPG123_OK)
            return;
        if (knownFill > 0 &&
            static_cast<int64_t>(knownFill) * knownStep > static_cast<int64_t>(ownFill) * ownStep)
            mpg123_set_index(decoder, known, knownStep, knownFill);
    }

    // Goes to pendingSeek when the decoder can; false while it needs the first frame's bytes.
    bool applySeek() {
        if (pendingSeek < 0) return true;
        if (decoder == nullptr) return false;
        // Only once the decoder knows the stream: its first frame sets its index up afresh.
        if (trackKnown) adoptIndex();
        off_t input = 0;
        const off_t reached =
            mpg123_feedseek(decoder, static_cast<off_t>(pendingSeek), SEEK_SET, &input);
        if (reached == MPG123_NEED_MORE) return false;
        pendingSeek = -1;
        if (reached < 0 || input < 0) return fail(libraryError(decoder));
        inputEnded = false;
        if (input != inputOffset) {
            inputOffset = input;
            status = Reposition;
        } else {
            status = More;
        }
        return true;
    }
};

extern "C" {

EMSCRIPTEN_KEEPALIVE StreamDecoder* mp3Open(double totalBytes) {
    auto* stream = new StreamDecoder();
    stream->totalBytes = totalBytes > 0 ? totalBytes : 0;
    if (!stream->openProbe()) {
        delete stream;
        return nullptr;
    }
    return stream;
}

EMSCRIPTEN_KEEPALIVE int mp3Feed(StreamDecoder* stream, const unsigned char* bytes, size_t count) {
    if (stream == nullptr || stream->status == StreamDecoder::Failed) return -1;
    if (count == 0) return 0;
    stream->inputOffset += static_cast<int64_t>(count);
    if (stream->status == StreamDecoder::Reposition) stream->status = StreamDecoder::More;
    if (stream->probe != nullptr) return stream->feedProbe(bytes, count) ? 0 : -1;
    if (mpg123_feed(stream->decoder, bytes, count) != MPG123_OK) {
        stream->fail(stream->libraryError(stream->decoder));
        return -1;
    }
    if (stream->status == StreamDecoder::NeedsInput) stream->status = StreamDecoder::More;
    return 0;
}

EMSCRIPTEN_KEEPALIVE void mp3EndOfInput(StreamDecoder* stream) {
    if (stream == nullptr) return;
    stream->inputEnded = true;
    if (stream->probe != nullptr) stream->feedProbe(nullptr, 0);
}

EMSCRIPTEN_KEEPALIVE size_t mp3Read(StreamDecoder* stream, unsigned char* out, size_t capacity) {
    if (stream == nullptr) return 0;
    if (stream->status == StreamDecoder::Failed || stream->status == StreamDecoder::Ended) return 0;
    if (stream->status == StreamDecoder::Reposition) return 0;
    if (stream->decoder == nullptr || !stream->applySeek()) { // the first frame is not known
        if (stream->status != StreamDecoder::Failed) stream->status = StreamDecoder::NeedsInput;
        return 0;
    }
    if (stream->status == StreamDecoder::Reposition) return 0;
    capacity -= capacity % 4;
    size_t filled = 0;
    while (filled < capacity) {
        size_t done = 0;
        const int result = mpg123_read(stream->decoder, out + filled, capacity - filled, &done);
        filled += done;
        if (result == MPG123_NEW_FORMAT || done > 0) stream->trackKnown = true;
        if (result == MPG123_OK || result == MPG123_NEW_FORMAT) continue;
        if (result == MPG123_NEED_MORE) {
            // Everything fed is decoded: at the end of the file that is the end of the sound.
            stream->status = stream->inputEnded ? StreamDecoder::Ended : StreamDecoder::NeedsInput;
        } else if (result == MPG123_DONE) {
            stream->status = StreamDecoder::Ended;
        } else {
            stream->fail(stream->libraryError(stream->decoder));
        }
        return filled;
    }
    stream->status = StreamDecoder::More;
    return filled;
}

EMSCRIPTEN_KEEPALIVE int mp3Status(StreamDecoder* stream) {
    return stream == nullptr ? StreamDecoder::Failed : stream->status;
}

EMSCRIPTEN_KEEPALIVE double mp3Seek(StreamDecoder* stream, double sample) {
    if (stream == nullptr || stream->status == StreamDecoder::Failed) return -1;
    stream->pendingSeek = sample < 0 ? 0 : static_cast<int64_t>(sample);
    // Going back near the start, libmpg123's feed reader has no frames before the one sought
    // to settle its filters with, and the first frames sound of what was decoded before: a
    // fresh decoder reads from the file's first byte instead.
    if (stream->decoder != nullptr && stream->pendingSeek < restartBelow && !stream->openProbe())
        return -1;
    if (stream->status == StreamDecoder::Ended) stream->status = StreamDecoder::More;
    if (!stream->applySeek() && stream->status == StreamDecoder::Failed) return -1;
    if (stream->status == StreamDecoder::Reposition) stream->status = StreamDecoder::More;
    return static_cast<double>(stream->inputOffset);
}

EMSCRIPTEN_KEEPALIVE double mp3InputOffset(StreamDecoder* stream) {
    return stream == nullptr ? -1 : static_cast<double>(stream->inputOffset);
}

EMSCRIPTEN_KEEPALIVE const char* mp3Error(StreamDecoder* stream) {
    return stream == nullptr ? "no decoder" : stream->error.c_str();
}

EMSCRIPTEN_KEEPALIVE void mp3Close(StreamDecoder* stream) {
    delete stream;
}

EMSCRIPTEN_KEEPALIVE FrameIndexer* mp3IndexOpen() {
    auto* indexer = new FrameIndexer();
    int code = MPG123_OK;
    indexer->parser = mpg123_new("generic", &code);
    // The decoder's flags: the same frames, numbered alike.
    if (indexer->parser == nullptr ||
        mpg123_param(indexer->parser, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_NO_FRANKENSTEIN,
                     0.0) != MPG123_OK ||
        mpg123_open_feed(indexer->parser) != MPG123_OK) {
        delete indexer;
        return nullptr;
    }
    return indexer;
}

EMSCRIPTEN_KEEPALIVE int mp3IndexFeed(FrameIndexer* indexer, const unsigned char* bytes,
                                      size_t count) {
    if (indexer == nullptr || indexer->failed) return -1;
    if (mpg123_feed(indexer->parser, bytes, count) != MPG123_OK) {
        indexer->failed = true;
        return -1;
    }
    for (;;) {
        const int result = mpg123_framebyframe_next(indexer->parser);
        if (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
            ++indexer->frames;
            continue;
        }
        if (result == MPG123_NEED_MORE) return 0;
        indexer->failed = result != MPG123_DONE;
        return indexer->failed ? -1 : 0;
    }
}

EMSCRIPTEN_KEEPALIVE double mp3IndexFrames(FrameIndexer* indexer) {
    return indexer == nullptr ? 0 : indexer->frames;
}

EMSCRIPTEN_KEEPALIVE void mp3UseIndex(StreamDecoder* stream, FrameIndexer* indexer) {
    if (stream != nullptr) stream->indexer = indexer;
}

EMSCRIPTEN_KEEPALIVE void mp3IndexClose(FrameIndexer* indexer) {
    delete indexer;
}
}
