// The AVI writer: per-frame sound and video writes, the capture hook-up, failure and cleanup.
#include "media/AviWriter.h"

#include "engine/Error.h"
#include "engine/Exception.h"
#include "engine/MessageBox.h"
#include "media/AviMuxer.h"
#include "media/ExportChapters.h"
#include "media/ExportClip.h"
#include "media/ExportFormats.h"
#include "media/ExportProgress.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

constexpr int64_t reducedCaptureSize = 35000000;           // bytes, after the low-memory question
constexpr auto soundStallLimit = std::chrono::seconds(10); // no new sound for this long: go on

} // namespace

void AviWriter::showFailure(const std::string& text) {
    if (failureShown) return;
    failureShown = true;
    messageBox(text.c_str(), "Error!", MB_ICONERROR);
}

std::string AviWriter::shownName() const {
    return fileName == "-" ? "standard output" : fileName;
}

std::string AviWriter::failureText(const std::string& message, int code) const {
    std::string text = message;
    if (!fileName.empty()) text += " (" + shownName() + ")";
    const std::string system = aviErrorText(code);
    if (!system.empty())
        text += " - '" + system + "'";
    else if (message.empty() || message.back() != '!')
        text += "!";
    if (file != nullptr && file->removedFile())
        text += "\n" + fileName + " is removed: a " + container->extension.substr(1) +
                " file cannot be read without its end, which was not written.";
    return text;
}

void AviWriter::fail(const std::string& message, int code) {
    const std::string system = aviErrorText(code);
    showFailure(message + (system.empty() ? "!" : " - '" + system + "'"));
    throw Error::exit(1);
}

void AviWriter::failAbout(const std::string& message, int code) {
    showFailure(failureText(message, code));
    throw Error::exit(1);
}

AviWriter::AviWriter(void* instance, const char* name, int width, int height, bool soundOn,
                     int frameRate, int sampleRate, int bits, const ExportOptions& options)
    : frameRate(frameRate), width(width), height(height), sampleRate(sampleRate),
      bitsPerSample(bits), blockSize(bits / 8 * 2), soundOn(soundOn) {
    (void)instance;
    fileName = name != nullptr ? name : "";
    if (!options.problem.empty()) failWith(options.problem);
    std::string problem;
    container = containerForName(fileName, problem);
    if (container == nullptr) failWith(problem);
    codecWord = options.codec;
    scale = options.scale > 0 ? options.scale : container->defaultScale;
    crf = options.crf;
    clip = exportClip(options.start, options.end);
    if (!clip.problem.empty()) failWith(clip.problem);
    readPosition = firstSample() * blockSize;
    file = std::make_unique<AviMuxer>();
    openFile(fileName.c_str());
    createStreams();
}

void AviWriter::failWith(const std::string& text) {
    showFailure(text);
    throw Error::exit(1);
}

void AviWriter::openFile(const char* name) {
    const int result = file->openFile(name, container);
    if (result != 0) failAbout(openFailure(), result);
}

std::string AviWriter::openFailure() const {
    const std::string kind =
        container->extension == "-" ? "output" : container->extension.substr(1);
    return "Couldn't open " + kind + " file!";
}

void AviWriter::createStreams() {
    int result = file->createVideoStream(width, height, frameRate);
    if (result != 0) fail("Couldn't create avi stream", result);
    setupCompression();
    if (soundOn) {
        allocateSoundBuffer();
        if (file->createSoundStream(sampleRate, channels, bitsPerSample) != 0) {
            messageBox("Couldn't create audio stream for avi - sound disabled!", "Warning",
                       MB_ICONWARNING);
            soundOn = false;
        }
    }
    result = file->setChapters(exportChapters(clip));
    if (result != 0) fail("Couldn't set for avi stream", result);
    result = file->start();
    if (result != 0) // start() left no file
        failAbout(file->fileOpened() ? "Couldn't set for avi stream" : openFailure(), result);
}

void AviWriter::setupCompression() {
    const AviCodecChoice choice = chooseCodecFor(*container, codecWord);
    if (choice.outcome == AviCodecChoice::Cancelled) fail("avi dialog was aborted", 666);
    if (choice.outcome == AviCodecChoice::Unknown)
        failWith(checkCodecForContainer(choice.name, *container));
    codec = choice.name;
    const std::string crfProblem = checkCrfFor(crf, codec, *container);
    if (!crfProblem.empty()) failWith(crfProblem);
    const int result = file->setupCompression(VideoEncoding{codec, scale, crf});
    if (result != 0) fail("Couldn't create compressed avi stream", result);
}

void AviWriter::allocateSoundBuffer() {
    if (allocateCaptureBuffer(requestedCaptureBufferSize())) return;
    const int answer =
        messageBox("Your system doesn't seem to have enough memory for allocating soundbuffers.\n"
                   "Would you like to use a smaller buffer? (This might not work though :)\n",
                   "Oups. Low memory detected!", MB_YESNO | MB_ICONEXCLAMATION);
    if (answer != IDYES) throw Error::exit(0);
    messageBox("Ok, let's see if this will crash or not then :)", "Ehhh.. ", MB_OK);
    if (!allocateCaptureBuffer(reducedCaptureSize))
        throw Error(errOutOfMemory, "the capture buffer of " + std::to_string(reducedCaptureSize) +
                                        " bytes could not be allocated");
}

void AviWriter::attachFrameBuffer(const uint8_t* buffer, const SoundHandle* stream) {
    frameSource = buffer;
    if (!soundOn || stream == nullptr) return;
    soundChannel = *stream;
    soundChannelSetDsp(soundChannel, captureSound, nullptr);
}

void AviWriter::nextFrame(int percent) {
    if (progress == nullptr) {
        progress = std::make_unique<ExportProgress>();
        started = std::chrono::steady_clock::now();
    }
    // A failed write is told first; then, between two frames, a confirmed Cancel ends the
    // program here, and the exit routine's delete completes the file.
    checkWorker();
    if (ExportProgress::cancelConfirmed()) {
        cancelled = true;
        throw Error::exit(0);
    }
    // Frames before the clip are stepped (each depends on those before) but not written.
    if (framesSkipped < clip.firstFrame) {
        ++framesSkipped;
        progress->skip(framesSkipped, clip.firstFrame);
        return;
    }
    if (soundOn) {
        const int64_t target = soundEndOfFrame() * blockSize;
        waitForSound();
        writeSoundAt(readPosition);
        readPosition = target;
    }
    if (frameSource != nullptr) write(frameSource, VideoFrame);
    progress->update(percent, framesWritten, clip.frameCount - clip.firstFrame);
}

int64_t AviWriter::firstSample() const {
    return clip.firstFrame * sampleRate / frameRate;
}

int64_t AviWriter::soundEndOfFrame() const {
    return (clip.firstFrame + framesWritten + 1) * sampleRate / frameRate;
}

void AviWriter::waitForSound() {
    if (!soundOn) return;
    const int64_t target = soundEndOfFrame() * blockSize;
    int64_t seen = capturePosition();
    auto lastGrowth = std::chrono::steady_clock::now();
    for (int spins = 0; capturePosition() < target; ++spins) {
        if (soundChannelIsActive(soundChannel) == 0) return; // the music has ended
        const int64_t now = capturePosition();
        if (now != seen) {
            seen = now;
            lastGrowth = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastGrowth > soundStallLimit) {
            std::fprintf(stderr, "{AviWriter::waitForSound}: no sound for 10 s - going on with "
                                 "silence\n");
            return;
        }
        if (spins < 64)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void AviWriter::write(const uint8_t* data, int kind) {
    checkWorker();
    if (kind == VideoFrame) {
        if (data == nullptr) return;
        const int index = framesWritten;
        ++framesWritten;
        std::vector<uint8_t> frame = file->takeFrameBlock();
        if (file->storesBottomUp())
            flipFrame(data, frame.data());
        else
            std::memcpy(frame.data(), data, file->frameBytes());
        file->submitFrame(std::move(frame), index);
    } else if (kind == Sound) {
        // Compared as addresses: data may lie anywhere, and only a pointer into the buffer
        // names an offset in it.
        const auto at = reinterpret_cast<uintptr_t>(data);
        const auto base = reinterpret_cast<uintptr_t>(captureBuffer());
        const bool inside =
            base != 0 && at >= base && at - base <= static_cast<uintptr_t>(captureBufferSize());
        writeSoundAt(inside ? static_cast<int64_t>(at - base) : readPosition);
    }
}

void AviWriter::writeSoundAt(int64_t offset) {
    checkWorker();
    if (!soundOn) return;
    const int64_t count = soundEndOfFrame() - firstSample() - samplesWritten; // sample frames
    if (count <= 0) return;
    std::vector<uint8_t> pcm(static_cast<size_t>(count * blockSize));
    readCapture(offset, pcm.data(), static_cast<int64_t>(pcm.size()));
    file->submitSound(std::move(pcm), samplesWritten);
    samplesWritten += static_cast<int>(count);
}

void AviWriter::flipFrame(const uint8_t* data, uint8_t* target) const {
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int row = 0; row < height; ++row)
        std::memcpy(target + static_cast<size_t>(row) * rowBytes,
                    data + static_cast<size_t>(height - 1 - row) * rowBytes, rowBytes);
}

void AviWriter::checkWorker() {
    AviMuxerError error;
    if (!finished && file->failed(error)) failRunning(error);
}

void AviWriter::failRunning(const AviMuxerError& error) {
    finished = true;
    status = 1;
    AviMuxerError first;
    file->finish(first); // what can be completed is; a file unreadable without its end goes
    progress.reset();
    failAbout(error.message, error.code);
}

int AviWriter::finish() {
    if (finished) return status;
    finished = true;
    AviMuxerError error;
    // Without a frame there is nothing worth a file (a Cancel while the frames before the clip
    // were stepped). The progress line goes on while the encoder's last frames are written.
    const bool anyFrame = framesWritten > 0;
    const int result = file->finish(error, anyFrame);
    progress.reset(); // its last line
    if (!anyFrame && file->removedFile())
        std::fprintf(stderr, "%s - %s is not written\n",
                     cancelled ? "Cancelled before the first frame" : "No frame was written",
                     fileName.c_str());
    if (result == 0) {
        completed = true;
        if (anyFrame) {
            printSummary();
            printChapters();
        }
        return status;
    }
    if (!anyFrame && file->removedFile()) return status; // nothing of it is left to fail
    showFailure(failureText(error.message, error.code)); // once: not after a box shown before
    status = 1;
    return status;
}

void AviWriter::printSummary() const {
    struct stat info {};
    const int64_t bytes = fileName == "-" || stat(fileName.c_str(), &info) != 0
                              ? file->bytesWritten()
                              : static_cast<int64_t>(info.st_size);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double duration = static_cast<double>(framesWritten) / frameRate; // of the video
    std::fprintf(stderr, "Wrote %s: %d frames, %d:%05.2f, %.1f MB in %d:%04.1f (%.2fx real time)\n",
                 fileName == "-" ? "standard output" : fileName.c_str(), framesWritten,
                 static_cast<int>(duration) / 60, duration - static_cast<int>(duration) / 60 * 60,
                 bytes / 1e6, static_cast<int>(seconds) / 60,
                 seconds - static_cast<int>(seconds) / 60 * 60,
                 seconds > 0 ? duration / seconds : 0.0);
}

void AviWriter::printChapters() const {
    // The scenes that begin within the frames written (all of them unless a Cancel came first).
    std::vector<ExportChapter> chapters = exportChapters(clip);
    while (!chapters.empty() && chapters.back().start >= framesWritten)
        chapters.pop_back();
    std::fputs(chapterLines(chapters, frameRate).c_str(), stderr);
}

AviWriter::~AviWriter() {
    finish();
}

FrameSink* makeAviWriter(const ExportOptions& options, uint8_t* frameBuffer24,
                         SoundHandle* soundStream) {
    setCaptureBufferSize(200000000);
    const bool withSound = soundStream != nullptr;
    const std::string& out = options.out;
    auto* writer = new AviWriter(nullptr, out.empty() ? "_.avi" : out.c_str(), 640, 480, withSound,
                                 31, 44100, 16, options);
    writer->attachFrameBuffer(frameBuffer24, soundStream);
    return writer;
}
