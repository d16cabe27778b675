// The debug log server (levelled lines to debug.log in file mode) and the exception server.
#pragma once

#include <cstdint>
#include <cstdio>

class DebugServer {
  public:
    // mode 1 writes debug.log in the working directory (emptied at start); any other mode
    // writes nothing. Lines below threshold are not written.
    DebugServer(int8_t threshold, uint8_t mode);
    // Releases the buffers and closes debug.log (the program's one server is never destroyed).
    ~DebugServer();
    DebugServer(const DebugServer&) = delete;
    DebugServer& operator=(const DebugServer&) = delete;

    // Keeps a copy of text and, in file mode at or above the threshold, writes it with a line
    // end and flushes at once.
    void log(const char* text, int8_t level);

    // Shows message under "Fatal error!" and ends the program with exit code 1: throws
    // Error::exit(1) with the message and the reason behind it, for the entry routine.
    [[noreturn]] static void fatal(const char* message, const char* reason = "");

    const char* getLastText() const { return lastText; }
    uint32_t getLastTextSize() const { return lastTextSize; }

  private:
    int8_t threshold;
    uint8_t mode;
    char* lastText = nullptr;  // copy of the most recent line; null until the first log
    uint32_t lastTextSize = 0; // length the lastText buffer was allocated for
    std::FILE* logFile = nullptr;
};

// Holds the debug server; nothing more. The start-up creates one as the second of its three
// services (a failure to do so ends the program with code 3), and nothing reads it after that.
class ExceptionServer {
  public:
    explicit ExceptionServer(DebugServer* debugServer) : debugServer(debugServer) {}

  private:
    [[maybe_unused]] DebugServer* debugServer; // not owned
};
