// Runs a fuzz target over files and folders of inputs without libFuzzer, so that every build
// replays the regression inputs. An input that takes more than 10 s counts as a hang.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

const char* current = ""; // the input being run, for the hang message

void onAlarm(int) {
    const char text[] = "replay: an input ran for more than 10 s (a hang): ";
    (void)!write(STDERR_FILENO, text, sizeof text - 1);
    (void)!write(STDERR_FILENO, current, std::char_traits<char>::length(current));
    (void)!write(STDERR_FILENO, "\n", 1);
    _exit(2);
}

int runOne(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    current = path.c_str();
    alarm(10);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    alarm(0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGALRM, onAlarm);
    int failures = 0, inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path given(argv[i]);
        // A folder given with a trailing slash may be missing: it holds no inputs yet (git keeps
        // no empty folders). A missing file is an error.
        if (!std::filesystem::exists(given) && given.filename().empty()) continue;
        if (std::filesystem::is_directory(given)) {
            for (const auto& entry : std::filesystem::directory_iterator(given))
                if (entry.is_regular_file()) failures += runOne(entry.path().string()), ++inputs;
        } else {
            failures += runOne(given.string()), ++inputs;
        }
    }
    std::printf("replay: %d inputs, %d unreadable\n", inputs, failures);
    return failures == 0 ? 0 : 1;
}
