// demo-render: renders a show of its own headless in video-mode time through the program's
// start-up and main loop, with a null display and a hashing frame sink in place of the AVI
// writer.
//
//   demo-render [--pack FILE] [--end N] [--every K] [--dump DIR --at K1,K2,...] [--no-digest]
//   [--sha256]
#include "app/Application.h"
#include "app/MainLoop.h"
#include "app/Show.h"
#include "engine/Exception.h"
#include "tools/render/FrameHasher.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace {

FrameHasherOptions hasherOptions;
FrameHasher* hasher = nullptr;
Show* renderedShow = nullptr;

FrameSink* makeHasher(const ExportOptions&, uint8_t* frameBuffer24, uint32_t*) {
    hasher = new FrameHasher(frameBuffer24, hasherOptions, renderedShow);
    return hasher;
}

[[noreturn]] void usage(const char* problem) {
    std::fprintf(stderr,
                 "demo-render: %s\n"
                 "usage: demo-render [--pack FILE] [--end N] [--every K] "
                 "[--dump DIR --at K1,K2,...] [--no-digest] [--sha256]\n",
                 problem);
    std::exit(2);
}

long numberArgument(const char* text, const char* option) {
    char* rest = nullptr;
    const long value = std::strtol(text, &rest, 10);
    if (*text == '\0' || *rest != '\0' || value < 0) usage(option);
    return value;
}

void reportSpeed(double seconds) {
    static const char* const names[] = {"scene 0", "scene 1", "scene 2", "scene 3", "scene 4",
                                        "scene 5", "scene 6", "scene 7", "scene 8", "end"};
    const long frames = hasher->framesWritten();
    std::fprintf(stderr, "%ld frames in %.2f s: %.1f frames per second\n", frames, seconds,
                 seconds > 0 ? frames / seconds : 0.0);
    for (int i = 0; i < 10; ++i) {
        const long n = hasher->sceneFrames()[i];
        const double s = hasher->sceneSeconds()[i];
        if (n > 0)
            std::fprintf(stderr, "  %-8s %6ld frames %8.2f s %8.1f frames per second\n", names[i],
                         n, s, s > 0 ? n / s : 0.0);
    }
    std::fprintf(stderr, "first frame (with the start-up after the sink): %.2f ms\n",
                 hasher->firstFrameSeconds() * 1000.0);
    std::fprintf(stderr, "slowest later frame: %ld, %.2f ms\n", hasher->slowestFrameIndex(),
                 hasher->slowestFrameSeconds() * 1000.0);
}

} // namespace

int main(int argc, char** argv) {
    std::string pack = "_.dat";
    std::string commandLine = "video noaudio";
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--no-digest") {
            hasherOptions.digest = false;
            continue;
        }
        if (option == "--sha256") {
            hasherOptions.sha256 = true;
            continue;
        }
        if (i + 1 >= argc) usage(("missing value after " + option).c_str());
        const char* value = argv[++i];
        if (option == "--pack") {
            pack = value;
        } else if (option == "--end") {
            commandLine += " end=" + std::to_string(numberArgument(value, "--end"));
        } else if (option == "--every") {
            hasherOptions.every = static_cast<int>(numberArgument(value, "--every"));
        } else if (option == "--dump") {
            hasherOptions.dumpDirectory = value;
        } else if (option == "--at") {
            std::istringstream list(value);
            std::string item;
            while (std::getline(list, item, ','))
                hasherOptions.dumpFrames.insert(numberArgument(item.c_str(), "--at"));
        } else {
            usage(("unknown option " + option).c_str());
        }
    }

    const auto start = std::chrono::steady_clock::now();
    try {
        readCommandLine(commandLine);
        setVideoSinkMaker(makeHasher);
        createServers();
        openPack(pack);
        Show own;
        own.loadPictures();
        renderedShow = &own;
        setUp();
        startClock();
        runMainLoop(own);
        FrameHasher* finished = hasher;
        aviWriter = nullptr; // reported below, then deleted
        shutDown();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        finished->finish();
        reportSpeed(seconds);
        delete finished;
        renderedShow = nullptr;
    } catch (ExceptionSpace::Exception* e) {
        std::fprintf(stderr, "demo-render: %s\n", e->getMessage().c_str());
        return 1;
    } catch (const ExceptionType& e) {
        std::fprintf(stderr, "demo-render: %s\n", e.describe().c_str());
        return 1;
    } catch (...) {
        std::fprintf(stderr, "demo-render: the show could not be set up\n");
        return 1;
    }
    return 0;
}
