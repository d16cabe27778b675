// demo-render: renders a show of its own headless in video-mode time through the program's
// start-up and main loop, with a null display and a hashing frame sink in place of the AVI
// writer.
//
//   demo-render [--pack FILE] [--end N] [--every K] [--dump DIR --at K1,K2,...] [--no-digest]
//   [--sha256]
//   demo-render [--pack FILE] --seek-check N [--seek-spacing MS]
#include "app/Run.h"
#include "app/Show.h"
#include "tools/render/FrameHasher.h"
#include "tools/render/SeekCheck.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

namespace {

// Hands the run's frames to the render's hasher, which outlives the run for its report.
class HasherSink : public FrameSink {
  public:
    explicit HasherSink(FrameHasher& hasher) : hasher(hasher) {}
    void nextFrame(int progress) override { hasher.nextFrame(progress); }
    int finish() override { return hasher.finish(); }

  private:
    FrameHasher& hasher;
};

[[noreturn]] void usage(const char* problem) {
    std::fprintf(stderr,
                 "demo-render: %s\n"
                 "usage: demo-render [--pack FILE] [--end N] [--every K] "
                 "[--dump DIR --at K1,K2,...] [--no-digest] [--sha256]\n"
                 "       demo-render [--pack FILE] --seek-check N [--seek-spacing MS]\n",
                 problem);
    std::exit(2);
}

long numberArgument(const char* text, const char* option) {
    char* rest = nullptr;
    const long value = std::strtol(text, &rest, 10);
    if (*text == '\0' || *rest != '\0' || value < 0) usage(option);
    return value;
}

// A number of `option` from low to high.
long boundedArgument(const char* text, const char* option, long low, long high) {
    const long value = numberArgument(text, option);
    if (value < low || value > high)
        usage((std::string(option) + " takes a number from " + std::to_string(low) + " to " +
               std::to_string(high))
                  .c_str());
    return value;
}

void reportSpeed(const FrameHasher& hasher, double seconds) {
    static const char* const names[] = {"scene 0", "scene 1", "scene 2", "scene 3", "scene 4",
                                        "scene 5", "scene 6", "scene 7", "scene 8", "end"};
    const long frames = hasher.framesWritten();
    std::fprintf(stderr, "%ld frames in %.2f s: %.1f frames per second\n", frames, seconds,
                 seconds > 0 ? frames / seconds : 0.0);
    for (int i = 0; i < 10; ++i) {
        const long n = hasher.sceneFrames()[i];
        const double s = hasher.sceneSeconds()[i];
        if (n > 0)
            std::fprintf(stderr, "  %-8s %6ld frames %8.2f s %8.1f frames per second\n", names[i],
                         n, s, s > 0 ? n / s : 0.0);
    }
    std::fprintf(stderr, "first frame (with the start-up after the sink): %.2f ms\n",
                 hasher.firstFrameSeconds() * 1000.0);
    std::fprintf(stderr, "slowest later frame: %ld, %.2f ms\n", hasher.slowestFrameIndex(),
                 hasher.slowestFrameSeconds() * 1000.0);
}

} // namespace

int main(int argc, char** argv) {
    std::string pack = "_.dat";
    std::string commandLine = "video noaudio";
    FrameHasherOptions hasherOptions;
    SeekCheckOptions seekCheck;
    bool checkSeeks = false;
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
        } else if (option == "--seek-check") {
            seekCheck.targets = static_cast<int>(boundedArgument(value, "--seek-check", 1, 100000));
            checkSeeks = true;
        } else if (option == "--seek-spacing") {
            seekCheck.spacingMs =
                static_cast<double>(boundedArgument(value, "--seek-spacing", 1, 100000));
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

    if (checkSeeks) {
        seekCheck.pack = pack;
        return runSeekCheck(seekCheck);
    }

    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<FrameHasher> hasher;
    RunPlatform platform;
    platform.credits = false; // nobody to show them to
    platform.videoSink = [&](const ExportOptions&, uint8_t* frame24, uint32_t*, const Show& show) {
        hasher = std::make_unique<FrameHasher>(frame24, hasherOptions, &show);
        return new HasherSink(*hasher);
    };
    Run run(platform);
    if (run.open(commandLine, pack)) {
        while (run.step().kind != Run::Step::Ended) {
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int status = run.close();
    if (run.failed() || hasher == nullptr) return 1;
    if (status != 0) return status;
    reportSpeed(*hasher, seconds);
    return 0;
}
