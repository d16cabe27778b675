// The sound library over libmpg123 (decoding) and SDL2 audio (output).
//
// Design
// - A stream owns one Decoder: an mpg123 handle forced to signed 16-bit stereo at the output
//   frequency (mono is duplicated, other rates go through mpg123's own resampler). Opening a
//   stream decodes up to the first sound and keeps it, so a file that holds no MPEG audio
//   frame is refused at creation. mpg123 only accepts a first frame whose following headers
//   agree with it, and looks for one in at most the first 64 KiB after any ID3v2 tag, so
//   random bytes and PCM data (a WAV named .mp3) are refused rather than decoded into noise.
//   Resync stays on: junk of up to 1,024 bytes inside the audio is skipped (a click where
//   the cut frame was), more ends the stream there, as does any other decoding error; a
//   truncated file plays up to its last whole frame. Junk bytes are never decoded.
// - Output mode: one SDL audio device plays the mix. Its callback, on SDL's audio thread,
//   asks every playing stream for exactly the bytes the device wants, hands them to the
//   stream's DSP, then adds what the DSP left into the device buffer. Playback is therefore
//   paced by the device, and the DSP sees each block before it is heard.
// - Decode-only mode (soundInitDecodeOnly): no device exists. Once output is started, each
//   playing stream runs a worker thread that decodes block after block (blockBytes each)
//   straight into the DSP as fast as mpg123 goes, then marks the stream inactive. One thread
//   per stream keeps the sample order deterministic; the 900-s soundtrack takes seconds.
// - In both modes a stream becomes inactive only after its DSP returned from the last block,
//   so a caller that sees it inactive has been handed every sample.
// - Locking: apiMutex serialises the calls that open, close, start and stop things and is
//   never taken by the audio thread or the workers; stateMutex guards the stream table, the
//   DSP fields and the play marks and is taken by the audio callback, by the workers (briefly,
//   never while running a DSP) and by the calls a DSP may make (is-active, set-DSP). SDL device
//   calls and thread joins happen with stateMutex released, as the audio thread or a worker
//   may be waiting for it.
#include "media/SoundLibrary.h"

#include "media/InfoFrame.h"

#include <SDL.h>
#include <mpg123.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Why the last failing set-up call of this thread failed (see soundErrorText).
thread_local std::string lastError;

int failWith(const std::string& why) {
    lastError = why;
    return 0;
}

constexpr uint32_t bytesPerFrame = 4;  // 16-bit stereo
constexpr uint32_t blockFrames = 2048; // device buffer and decode-only block, sample frames
constexpr uint32_t blockBytes = blockFrames * bytesPerFrame;
constexpr int maxSilentReads = 64;      // reads without sound before a file counts as empty
constexpr uint32_t minFrequency = 8000; // Hz
constexpr uint32_t maxFrequency = 192000;

struct Mpg123Deleter {
    void operator()(mpg123_handle* handle) const {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

// The number of frames an Info (Xing) frame claims for the stream, or -1 when the first frame
// libmpg123 finds in the file is no Info frame with a frame count. The frame is read as plain
// audio, so its claim costs nothing here.
int64_t claimedFrames(const char* path) {
    Mpg123Ptr probe(mpg123_new(nullptr, nullptr));
    if (!probe) return -1;
    mpg123_param(probe.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0.0);
    if (mpg123_open(probe.get(), path) != MPG123_OK) return -1;
    const int next = mpg123_framebyframe_next(probe.get());
    unsigned long header = 0;
    unsigned char* body = nullptr;
    size_t bytes = 0;
    if ((next != MPG123_OK && next != MPG123_NEW_FORMAT) ||
        mpg123_framedata(probe.get(), &header, &body, &bytes) != MPG123_OK)
        return -1;
    return infoFrameCount(header, body, bytes);
}

// One MP3 file decoded to 16-bit stereo at a fixed rate, in file order.
class Decoder {
  public:
    // Null when the path is not a non-empty regular file or holds no MPEG audio frame; why
    // then says which, in libmpg123's or the system's words where they have any.
    static std::unique_ptr<Decoder> open(const char* path, long rate, std::string& why) {
        struct stat info {};
        if (path == nullptr) {
            why = "no file name";
            return nullptr;
        }
        if (stat(path, &info) != 0) {
            why = std::strerror(errno);
            return nullptr;
        }
        if (!S_ISREG(info.st_mode)) {
            why = S_ISDIR(info.st_mode) ? "a directory, not a sound file" : "not a regular file";
            return nullptr;
        }
        if (info.st_size <= 0) {
            why = "the file is empty";
            return nullptr;
        }
        int error = MPG123_OK;
        Mpg123Ptr handle(mpg123_new(nullptr, &error));
        if (!handle) {
            why = std::string("libmpg123: ") + mpg123_plain_strerror(error);
            return nullptr;
        }
        long flags = MPG123_QUIET | MPG123_NO_FRANKENSTEIN;
        // Resampling works out the stream's end from an Info frame's claimed length one claimed
        // frame at a time: a claim of 2^32 frames stalls the first read for many seconds. Every
        // frame has at least its 4-byte header, so a claim beyond a quarter of the file's bytes
        // is false and is ignored; a true one keeps its gapless trimming.
        if (claimedFrames(path) > static_cast<int64_t>(info.st_size / 4))
            flags |= MPG123_IGNORE_STREAMLENGTH;
        mpg123_param(handle.get(), MPG123_ADD_FLAGS, flags, 0.0);
        if (mpg123_format_none(handle.get()) != MPG123_OK ||
            mpg123_format(handle.get(), rate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
            mpg123_open(handle.get(), path) != MPG123_OK) {
            why = std::string("libmpg123: ") + mpg123_strerror(handle.get());
            return nullptr;
        }
        std::unique_ptr<Decoder> decoder(new Decoder(std::move(handle)));
        if (!decoder->primeFirstSound(why)) return nullptr;
        return decoder;
    }

    // Fills up to `bytes` bytes (a multiple of 4); fewer only at the end of the stream.
    size_t read(uint8_t* out, size_t bytes) {
        size_t filled = 0;
        if (pendingRead < pending.size()) {
            filled = std::min(bytes, pending.size() - pendingRead);
            std::memcpy(out, pending.data() + pendingRead, filled);
            pendingRead += filled;
        }
        while (filled < bytes && !atEnd) {
            size_t done = 0;
            int result = mpg123_read(mpgHandle.get(), out + filled, bytes - filled, &done);
            filled += done;
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT) atEnd = true;
        }
        return filled;
    }

    bool finished() const { return atEnd && pendingRead >= pending.size(); }

    // libmpg123's words on the last failure of this decoder.
    std::string errorText() { return mpg123_strerror(mpgHandle.get()); }

    // Back to the first sample; false when the file cannot be sought (the stream then ends).
    bool rewind() {
        pending.clear();
        pendingRead = 0;
        atEnd = mpg123_seek(mpgHandle.get(), 0, SEEK_SET) < 0;
        return !atEnd;
    }

    // To sample frame `frame` (at the output rate) from the start; a frame at or past the end
    // leaves the decoder at its end. False when the file cannot be sought there.
    bool seek(int64_t frame) {
        pending.clear();
        pendingRead = 0;
        const off_t reached = mpg123_seek(mpgHandle.get(), static_cast<off_t>(frame), SEEK_SET);
        atEnd = reached < 0 || reached < frame;
        return reached >= 0;
    }

  private:
    explicit Decoder(Mpg123Ptr handle) : mpgHandle(std::move(handle)) {}

    // Decodes until the first bytes of sound, which are kept for the first read; false (and
    // why) when there are none.
    bool primeFirstSound(std::string& why) {
        pending.resize(blockBytes);
        for (int attempt = 0; attempt < maxSilentReads; ++attempt) {
            size_t done = 0;
            int result = mpg123_read(mpgHandle.get(), pending.data(), pending.size(), &done);
            if (done > 0) {
                pending.resize(done);
                if (result != MPG123_OK && result != MPG123_NEW_FORMAT) atEnd = true;
                return true;
            }
            if (result == MPG123_DONE) {
                why = "libmpg123 found no MPEG audio frame in it";
                return false;
            }
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
                why = std::string("libmpg123: ") + mpg123_strerror(mpgHandle.get());
                return false;
            }
        }
        why = "no sound in its first " + std::to_string(maxSilentReads) + " decoded blocks";
        return false;
    }

    Mpg123Ptr mpgHandle;
    std::vector<uint8_t> pending; // sound decoded at opening, not yet read
    size_t pendingRead = 0;
    bool atEnd = false; // mpg123 reported the end or an error
};

// The SDL audio subsystem and one open, 16-bit stereo output device.
class SdlAudioOutput {
  public:
    // Null when audio cannot start or the device cannot be opened; why then names the device
    // and gives SDL's words.
    static std::unique_ptr<SdlAudioOutput> open(int device, uint32_t frequency,
                                                SDL_AudioCallback callback, std::string& why) {
        const std::string wanted = device == -1 ? std::string("the default output device")
                                                : "output device " + std::to_string(device);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            why = "SDL could not start audio for " + wanted + " (" + SDL_GetError() + ")";
            return nullptr;
        }
        std::unique_ptr<SdlAudioOutput> output(new SdlAudioOutput());
        const char* driver = SDL_GetCurrentAudioDriver();
        const std::string driverText =
            std::string("SDL's \"") + (driver != nullptr ? driver : "?") + "\" driver";
        const char* name = nullptr;
        if (device != -1) {
            const int count = SDL_GetNumAudioDevices(0);
            if (device < 1 || device > count) {
                why = "there is no " + wanted + " (" + driverText + " lists " +
                      std::to_string(count < 0 ? 0 : count) + ")";
                return nullptr;
            }
            name = SDL_GetAudioDeviceName(device - 1, 0);
            if (name == nullptr) {
                why = driverText + " has no name for " + wanted + " (" + SDL_GetError() + ")";
                return nullptr;
            }
        }
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(frequency);
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = blockFrames;
        want.callback = callback;
        SDL_AudioSpec have{};
        output->deviceId = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
        if (output->deviceId == 0) {
            why = driverText + " could not open " + wanted +
                  (name != nullptr ? " \"" + std::string(name) + "\"" : std::string()) + " (" +
                  SDL_GetError() + ")";
            return nullptr;
        }
        return output;
    }
    ~SdlAudioOutput() {
        if (deviceId != 0) SDL_CloseAudioDevice(deviceId);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    SdlAudioOutput(const SdlAudioOutput&) = delete;
    SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;

    void setPaused(bool paused) { SDL_PauseAudioDevice(deviceId, paused ? 1 : 0); }

  private:
    SdlAudioOutput() = default;
    SDL_AudioDeviceID deviceId = 0;
};

struct Stream {
    SoundHandle handle = 0;
    std::string path;                 // the file, as given
    std::unique_ptr<Decoder> decoder; // used by one thread at a time: audio thread or worker
    SoundDspCallback dsp = nullptr;   // guarded by stateMutex
    void* dspUser = nullptr;
    SoundHandle dspHandle = 0;
    std::atomic<bool> playing{false};
    std::atomic<bool> stopWorker{false};
    std::thread worker; // decode-only mode; owned by the API thread
    std::vector<uint8_t> block;
    // Sample frames from the start of the file: where the next block begins, and where the
    // block last taken (the one being heard, in output mode) began.
    std::atomic<int64_t> nextSampleFrame{0};
    std::atomic<int64_t> blockSampleFrame{0};
    bool sought = false; // set by a seek: the next play goes on from there, even at the end
};
using StreamPtr = std::shared_ptr<Stream>;

struct Library {
    std::mutex apiMutex;
    std::recursive_mutex stateMutex;
    bool initialised = false; // guarded by apiMutex
    bool decodeOnly = false;
    bool started = false;
    uint32_t frequency = 44100;               // Hz
    std::unique_ptr<SdlAudioOutput> output;   // output mode only
    std::map<SoundHandle, StreamPtr> streams; // guarded by stateMutex
    SoundHandle nextHandle = 1;               // shared by streams and DSPs
    std::vector<int16_t> mixScratch;          // audio thread only
};

Library& library() {
    static Library* instance = new Library(); // lives until the process ends
    return *instance;
}

StreamPtr findStream(SoundHandle handle) {
    Library& lib = library();
    std::lock_guard<std::recursive_mutex> state(lib.stateMutex);
    auto found = lib.streams.find(handle);
    return found == lib.streams.end() ? nullptr : found->second;
}

// Decodes the stream's next block into stream.block and runs its DSP over it; returns the
// byte count. The caller is the only user of the decoder; when locked, stateMutex is held.
size_t pullBlock(Stream& stream, size_t bytes, bool locked) {
    if (stream.block.size() < bytes) stream.block.resize(bytes);
    size_t count = stream.decoder->read(stream.block.data(), bytes);
    count -= count % bytesPerFrame;
    if (count == 0) return 0;
    const int64_t first = stream.nextSampleFrame.load();
    stream.blockSampleFrame = first;
    stream.nextSampleFrame = first + static_cast<int64_t>(count / bytesPerFrame);
    SoundDspCallback dsp = nullptr;
    void* user = nullptr;
    SoundHandle dspHandle = 0;
    {
        Library& lib = library();
        std::unique_lock<std::recursive_mutex> state(lib.stateMutex, std::defer_lock);
        if (!locked) state.lock();
        dsp = stream.dsp;
        user = stream.dspUser;
        dspHandle = stream.dspHandle;
    }
    if (dsp != nullptr)
        dsp(dspHandle, stream.handle, stream.block.data(), static_cast<uint32_t>(count), user);
    return count;
}

void audioCallback(void*, Uint8* out, int length) {
    Library& lib = library();
    size_t bytes = length > 0 ? static_cast<size_t>(length) : 0;
    std::memset(out, 0, bytes);
    std::lock_guard<std::recursive_mutex> state(lib.stateMutex);
    for (auto& entry : lib.streams) {
        Stream& stream = *entry.second;
        if (!stream.playing) continue;
        size_t count = pullBlock(stream, bytes, true);
        const size_t samples = count / sizeof(int16_t);
        for (size_t i = 0; i < samples; ++i) {
            int16_t mixed;
            int16_t added;
            std::memcpy(&mixed, out + i * 2, 2);
            std::memcpy(&added, stream.block.data() + i * 2, 2);
            int sum = std::clamp(mixed + added, -32768, 32767);
            mixed = static_cast<int16_t>(sum);
            std::memcpy(out + i * 2, &mixed, 2);
        }
        if (count < bytes || stream.decoder->finished()) stream.playing = false;
    }
}

// Decode-only mode: runs the stream to its end (or until told to stop) into its DSP.
void decodeWorker(StreamPtr stream) {
    while (!stream->stopWorker) {
        size_t count = pullBlock(*stream, blockBytes, false);
        if (count < blockBytes || stream->decoder->finished()) break;
    }
    stream->playing = false;
}

// apiMutex held. Starts the worker of a playing stream in decode-only mode once output runs.
void launchWorker(const StreamPtr& stream) {
    Library& lib = library();
    if (!lib.decodeOnly || !lib.started || !stream->playing || stream->worker.joinable()) return;
    stream->stopWorker = false;
    stream->worker = std::thread(decodeWorker, stream);
}

// apiMutex held, stateMutex not held. Stops and joins the stream's worker, if any.
void joinWorker(Stream& stream) {
    stream.stopWorker = true;
    if (stream.worker.joinable()) stream.worker.join();
}

std::vector<StreamPtr> allStreams() {
    Library& lib = library();
    std::lock_guard<std::recursive_mutex> state(lib.stateMutex);
    std::vector<StreamPtr> streams;
    for (auto& entry : lib.streams)
        streams.push_back(entry.second);
    return streams;
}

} // namespace

const char* soundErrorText() {
    return lastError.c_str();
}

int soundInit(int device, uint32_t frequency, uint32_t flags) {
    Library& lib = library();
    std::lock_guard<std::mutex> api(lib.apiMutex);
    lastError.clear();
    if (lib.initialised) return failWith("the sound library is initialised already");
    if (frequency < minFrequency || frequency > maxFrequency)
        return failWith(std::to_string(frequency) + " Hz is outside the " +
                        std::to_string(minFrequency) + " to " + std::to_string(maxFrequency) +
                        " Hz an output can run at");
    const bool decodeOnly = (flags & soundInitDecodeOnly) != 0;
    if (!decodeOnly) {
        std::string why;
        lib.output = SdlAudioOutput::open(device, frequency, audioCallback, why);
        if (!lib.output) return failWith(why);
    }
    lib.decodeOnly = decodeOnly;
    lib.frequency = frequency;
    lib.started = false;
    lib.initialised = true;
    return 1;
}

SoundHandle soundStreamCreateFile(const char* path, uint32_t) {
    Library& lib = library();
    std::lock_guard<std::mutex> api(lib.apiMutex);
    lastError.clear();
    const std::string name = path != nullptr ? path : "(no file)";
    if (!lib.initialised) return failWith(name + ": the sound library is not initialised");
    std::string why;
    std::unique_ptr<Decoder> decoder = Decoder::open(path, static_cast<long>(lib.frequency), why);
    if (!decoder) return failWith(name + ": " + why);
    auto stream = std::make_shared<Stream>();
    stream->decoder = std::move(decoder);
    stream->path = name;
    std::lock_guard<std::recursive_mutex> state(lib.stateMutex);
    stream->handle = lib.nextHandle++;
    lib.streams[stream->handle] = stream;
    return stream->handle;
}

int soundStart() {
    Library& lib = library();
    std::lock_guard<std::mutex> api(lib.apiMutex);
    lastError.clear();
    if (!lib.initialised) return failWith("the sound library is not initialised");
    lib.started = true;
    if (lib.output) lib.output->setPaused(false);
    for (const StreamPtr& stream : allStreams())
        launchWorker(stream);
    return 1;
}

int soundStreamPlay(SoundHandle handle, int flush, uint32_t) {
    Library& lib = library();
    std::lock_guard<std::mutex> api(lib.apiMutex);
    lastError.clear();
    if (!lib.initialised) return failWith("the sound library is not initialised");
    StreamPtr stream = findStream(handle);
    if (!stream) return failWith("there is no stream " + std::to_string(handle));
    if (stream->playing && flush != soundPlayRestart) return 1;
    // Take the stream away from the audio thread / its worker before touching its decoder.
    stream->playing = false;
    joinWorker(*stream);
    { std::lock_guard<std::recursive_mutex> barrier(lib.stateMutex); } // ends a callback pass
    const bool restart =
        flush == soundPlayRestart || (stream->decoder->finished() && !stream->sought);
    stream->sought = false;
    if (restart) {
        stream->nextSampleFrame = 0;
        stream->blockSampleFrame = 0;
        if (!stream->decoder->rewind())
            return failWith(stream->path + ": cannot go back to its start (libmpg123: " +
                            stream->decoder->errorText() + ")");
    }
    stream->playing = true;
    launchWorker(stream);
    return 1;
}

SoundHandle soundChannelSetDsp(SoundHandle handle, SoundDspCallback callback, void* user) {
    Library& lib = library();
    std::lock_guard<std::recursive_mutex> state(lib.stateMutex);
    auto found = lib.streams.find(handle);
    if (found == lib.streams.end() || callback == nullptr) return 0;
    Stream& stream = *found->second;
    stream.dsp = callback;
    stream.dspUser = user;
    stream.dspHandle = lib.nextHandle++;
    return stream.dspHandle;
}

int soundChannelIsActive(SoundHandle handle) {
    StreamPtr stream = findStream(handle);
    return stream && stream->playing ? 1 : 0;
}

int soundChannelSetPosition(SoundHandle handle, int64_t frame) {
    Library& lib = library();
    std::lock_guard<std::mutex> api(lib.apiMutex);
    StreamPtr stream = findStream(handle);
    if (!stream || frame < 0) return 0;
    // Take the stream away from the audio thread / its worker before touching its decoder.
    const bool wasPlaying = stream->playing;
    stream->playing = false;
    joinWorker(*stream);
    { std::lock_guard<std::recursive_mutex> barrier(lib.stateMutex); } // ends a callback pass
    const bool sought = stream->decoder->seek(frame);
    stream->nextSampleFrame = frame;
    stream->blockSampleFrame = frame;
    stream->sought = true;
    if (wasPlaying && sought) {
        stream->playing = true;
        launchWorker(stream);
    }
    return sought ? 1 : 0;
}

int64_t soundChannelGetPosition(SoundHandle handle) {
    StreamPtr stream = findStream(handle);
    return stream ? stream->blockSampleFrame.load() : -1;
}

int soundStop() {
    Library& lib = library();
    std::lock_guard<std::mutex> api(lib.apiMutex);
    if (!lib.initialised) return 0;
    lib.started = false;
    if (lib.output) lib.output->setPaused(true); // returns once no callback runs
    for (const StreamPtr& stream : allStreams()) {
        stream->playing = false;
        joinWorker(*stream);
    }
    return 1;
}

int soundStreamFree(SoundHandle handle) {
    Library& lib = library();
    std::lock_guard<std::mutex> api(lib.apiMutex);
    StreamPtr stream;
    {
        std::lock_guard<std::recursive_mutex> state(lib.stateMutex);
        auto found = lib.streams.find(handle);
        if (found == lib.streams.end()) return 0;
        stream = found->second;
        lib.streams.erase(found); // the audio thread no longer sees it
    }
    stream->playing = false;
    joinWorker(*stream);
    return 1;
}

int soundFree() {
    Library& lib = library();
    std::lock_guard<std::mutex> api(lib.apiMutex);
    if (!lib.initialised) return 0;
    std::map<SoundHandle, StreamPtr> streams;
    {
        std::lock_guard<std::recursive_mutex> state(lib.stateMutex);
        streams.swap(lib.streams);
    }
    for (auto& entry : streams) {
        entry.second->playing = false;
        joinWorker(*entry.second);
    }
    lib.output.reset(); // closes the device: no callback runs after this
    lib.initialised = false;
    lib.started = false;
    return 1;
}
