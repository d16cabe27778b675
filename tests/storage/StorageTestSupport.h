// Test helpers for the storage suites: a scratch directory and packs built from bytes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "demo-test-XXXXXX");
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string file(const std::string& name) const { return (path / name).string(); }

    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file(name);
    }

    std::filesystem::path path;
};

inline const std::string packMarker = "@@ZembrilBundleToolMarkerSignatureBlock2001xx";

// Marker, separator byte, the directory text as given, then the data bytes.
inline std::string packBytes(const std::string& directory, const std::string& data = "",
                             const std::string& prefix = "") {
    return prefix + packMarker + "\n" + directory + data;
}

// A well-formed pack holding the given files in order.
inline std::string packOf(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string directory;
    std::string data;
    for (const auto& [name, bytes] : files) {
        directory += name + "@" + std::to_string(bytes.size()) + "@";
        data += bytes;
    }
    return packBytes(directory + "@", data);
}

// Runs body in a child process without root's right to open any file for writing (as the
// unprivileged user "nobody" when the tests run as root) and returns its exit code.
template <typename Body> int runUnprivileged(Body body) {
    if (geteuid() != 0) return body();
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 98;
    return WEXITSTATUS(status);
}

// Runs body on a thread and returns whether it ended within two seconds. A body that blocks
// opening the FIFO at fifoPath for reading is then released by opening and closing the write
// end, so the test ends either way.
template <typename Body> bool endsWithoutWaitingForFifo(const std::string& fifoPath, Body body) {
    std::atomic<bool> done{false};
    std::thread runner([&] {
        body();
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool inTime = done;
    while (!done) {
        const int writer = open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) close(writer); // the reader's open returns and it sees the end at once
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    runner.join();
    return inTime;
}
