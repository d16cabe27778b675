// The export's hand-offs to FFmpeg never read past a block: every block of 4 KiB or more that
// the program allocates during an export ends right at an unmapped page, so one byte read too
// far (by the writer or by FFmpeg's converters and encoders) faults. Each export runs in a
// child process and must end normally, for every codec the writer offers and with sound.
#include "ExportTestSupport.h"
#include "media/AviCodecChooser.h"
#include "media/AviWriter.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>

namespace guard {

// A block placed at the end of its own mapping, followed by one inaccessible page.
struct Mapping {
    void* user = nullptr; // what operator new returned
    void* base = nullptr;
    size_t length = 0; // bytes mapped, the guard page included
};

constexpr size_t minGuarded = 4096; // bytes; smaller blocks come from malloc
constexpr int maxMappings = 256;
std::atomic<bool> armed{false};
std::atomic<int> placed{0}; // blocks placed at a guard page since the last arming
std::mutex lock;            // guards mappings
Mapping mappings[maxMappings];

// The block ends at the guard page; operator new's 16-byte alignment moves a block whose size
// is not a multiple of 16 up to 15 bytes before it (frames and their padding are multiples).
void* allocate(size_t size) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t usable = (size + page - 1) / page * page;
    std::lock_guard<std::mutex> hold(lock);
    Mapping* slot = std::find_if(mappings, mappings + maxMappings,
                                 [](const Mapping& m) { return m.user == nullptr; });
    if (slot == mappings + maxMappings) return nullptr;
    void* base =
        mmap(nullptr, usable + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    uint8_t* end = static_cast<uint8_t*>(base) + usable;
    if (mprotect(end, page, PROT_NONE) != 0) {
        munmap(base, usable + page);
        return nullptr;
    }
    const uintptr_t start = reinterpret_cast<uintptr_t>(end - size) & ~uintptr_t{15};
    *slot = {reinterpret_cast<void*>(start), base, usable + page};
    ++placed;
    return slot->user;
}

bool release(void* user) {
    if (user == nullptr) return true;
    std::lock_guard<std::mutex> hold(lock);
    for (Mapping& m : mappings)
        if (m.user == user) {
            munmap(m.base, m.length);
            m = Mapping{};
            return true;
        }
    return false;
}

void* allocateOrThrow(size_t size) {
    if (armed.load() && size >= minGuarded)
        if (void* block = allocate(size)) return block;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void free(void* block) {
    if (!release(block)) std::free(block);
}

} // namespace guard

// The program's allocations in this test go through the guard while it is armed.
void* operator new(size_t size) {
    return guard::allocateOrThrow(size);
}
void* operator new[](size_t size) {
    return guard::allocateOrThrow(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return guard::allocateOrThrow(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void operator delete(void* block) noexcept {
    guard::free(block);
}
void operator delete[](void* block) noexcept {
    guard::free(block);
}
void operator delete(void* block, size_t) noexcept {
    guard::free(block);
}
void operator delete[](void* block, size_t) noexcept {
    guard::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    guard::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    guard::free(block);
}

namespace {

// Runs body in a child process with the guard armed; returns "exit N" or "signal N". The
// child exits with 3 when nothing was placed at a guard page (the test would prove nothing).
template <typename Body> std::string inGuardedChild(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGSEGV, SIG_DFL); // a fault ends the child even where ASan would catch it
        guard::placed = 0;
        guard::armed = true;
        body();
        guard::armed = false;
        _exit(guard::placed.load() > 0 ? 0 : 3);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return "no child";
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "exit " + std::to_string(WEXITSTATUS(status));
}

// A short export through nextFrame from a guarded frame buffer, as the main loop does it.
void exportFrames(const std::string& codec, int count) {
    std::vector<uint8_t> frameBuffer(frameBytes);
    AviWriter writer(nullptr, scratchPath("guard-" + codec + ".avi").c_str(), frameWidth,
                     frameHeight, false, 31, 44100, 16, optionsOf("codec=" + codec));
    writer.attachFrameBuffer(frameBuffer.data(), nullptr);
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t> frame = syntheticFrame(i);
        std::copy(frame.begin(), frame.end(), frameBuffer.begin());
        writer.nextFrame(i * 100 / count);
    }
}

} // namespace

TEST(AviGuard, AByteReadPastAGuardedBlockFaults) {
    const std::string outcome = inGuardedChild([] {
        std::vector<uint8_t> block(frameBytes, 1);
        volatile const uint8_t* end = block.data() + block.size();
        (void)*end; // one byte too far
    });
    EXPECT_EQ(outcome, "signal " + std::to_string(SIGSEGV))
        << "the guard page right behind a frame-sized block faults on the first byte past it";
}

TEST(AviGuard, EveryCodecReadsOnlyInsideTheFrameItIsHanded) {
    for (const AviCodec& codec : availableAviCodecs())
        EXPECT_EQ(inGuardedChild([&] { exportFrames(codec.name, 3); }), "exit 0")
            << "codec=" << codec.name << ": the export reads past a block (a signal) or placed "
            << "no block at a guard page (exit 3)";
}

TEST(AviGuard, SoundBlocksAreReadOnlyInsideThemselves) {
    const std::string outcome = inGuardedChild([] {
        fakesound::reset();
        setCaptureBufferSize(4000000);
        std::vector<uint8_t> frameBuffer(frameBytes);
        SoundHandle music = 7;
        AviWriter writer(nullptr, scratchPath("guard-sound.avi").c_str(), frameWidth, frameHeight,
                         true, 31, 44100, 16, optionsOf("codec=ffv1"));
        writer.attachFrameBuffer(frameBuffer.data(), &music);
        std::vector<uint8_t> pcm(4608, 0x11); // one decoded block of 1152 sample frames
        for (int block = 0; block < 20; ++block)
            fakesound::installedDsp(1, music, pcm.data(), static_cast<uint32_t>(pcm.size()),
                                    nullptr);
        for (int frame = 0; frame < 3; ++frame)
            writer.nextFrame(frame);
    });
    EXPECT_EQ(outcome, "exit 0") << "frames with their share of sound export without a fault";
}
