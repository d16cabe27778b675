// The debug log server.
#include "engine/DebugServer.h"

#include "engine/Error.h"
#include "engine/MessageBox.h"

#include <cerrno>
#include <cstring>
#include <new>

DebugServer::DebugServer(int8_t threshold, uint8_t mode) : threshold(threshold), mode(mode) {
    if (mode == 1) {
        logFile = std::fopen("debug.log", "w+");
        if (logFile == nullptr) {
            const std::string reason = std::string("debug.log: ") + std::strerror(errno);
            fatal("Error - Can't create log-file! Aborting...", reason.c_str());
        }
    }
}

DebugServer::~DebugServer() {
    delete[] lastText;
    if (logFile != nullptr) std::fclose(logFile);
}

void DebugServer::log(const char* text, int8_t level) {
    if (text == nullptr) text = "";
    const size_t length = std::strlen(text);
    if (lastText == nullptr || lastTextSize < length) {
        delete[] lastText;
        lastText = nullptr;
        // A plain new: once the out-of-memory handler is installed its error passes through
        // (a nothrow new would swallow it); before that, a failure is fatal.
        try {
            lastText = new char[length + 1];
        } catch (const std::bad_alloc&) {
            // Nothing is allocated on the way out: the box's text is a literal and the Error
            // thrown carries no text (building one could fail and end in "Sorry." instead).
            messageBox("Error - out of memory! Aborting...", "Fatal error!", MB_ICONERROR);
            throw Error::exit(1);
        }
        lastTextSize = static_cast<uint32_t>(length);
    }
    std::memcpy(lastText, text, length + 1);

    if (level >= threshold && mode == 1 && logFile != nullptr) {
        std::fprintf(logFile, "%s\n", text);
        std::fflush(logFile);
    }
}

void DebugServer::fatal(const char* message, const char* reason) {
    messageBox(message, "Fatal error!", MB_ICONERROR);
    throw Error::exit(1, message, reason);
}
