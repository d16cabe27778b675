// The debug log server.
#include "engine/DebugServer.h"

#include "engine/MessageBox.h"

#include <cstdlib>
#include <cstring>
#include <new>

DebugServer::DebugServer(int8_t threshold, uint8_t mode) : threshold(threshold), mode(mode) {
    captionText = new (std::nothrow) char[1024];
    if (captionText == nullptr)
        messageBox("Error - out of memory!", "Fatal error!", MB_ICONERROR);
    else
        std::strcpy(captionText, "Fatal error!");
    ready = 1;
    if (mode == 1) {
        logFile = std::fopen("debug.log", "w+");
        if (logFile == nullptr) fatal("Error - Can't create log-file! Aborting...");
    }
}

DebugServer::~DebugServer() {
    delete[] lastText;
    delete[] captionText;
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
            fatal("Error - out of memory! Aborting...");
        }
        lastTextSize = static_cast<uint32_t>(length);
    }
    std::memcpy(lastText, text, length + 1);

    if (level >= threshold && mode == 1 && logFile != nullptr) {
        std::fprintf(logFile, "%s\n", text);
        std::fflush(logFile);
    }
}

void DebugServer::fatal(const char* message) {
    messageBox(message, "Fatal error!", MB_ICONERROR);
    std::exit(1);
}

ExceptionServer::ExceptionServer(DebugServer* debugServer) : debugServer(debugServer) {
    (void)this->debugServer;
    (void)flag;
}
