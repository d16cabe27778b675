// Error objects, the error catalogue and the out-of-memory handler.
#include "engine/Exception.h"

#include "engine/Error.h"
#include "engine/MessageBox.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

void copyField(char* field, const char* text) {
    if (text == nullptr) text = "";
    std::strncpy(field, text, ExceptionType::fieldSize - 1);
    field[ExceptionType::fieldSize - 1] = '\0';
}

} // namespace

namespace ExceptionSpace {

Exception::Exception(const std::string& message, const char* file, int line)
    : message(message), file(file != nullptr ? file : ""), line(line) {}

Exception::~Exception() = default;

std::string Exception::reportText() const {
    // Both texts are composed as in 1024-character buffers: longer ones are cut at 1023.
    constexpr size_t limit = 1023;
    std::string position;
    if (line == -1 || file.empty()) {
        position = "The error occured in an unknown position in the code.\n"
                   "(This means it was probably thrown by the system itself.)";
    } else {
        position =
            "The error occured in the file '" + file + "' at line " + std::to_string(line) + ".";
    }
    if (position.size() > limit) position.resize(limit);
    std::string text = "Error - " + message + "\n\n" + position;
    if (text.size() > limit) text.resize(limit);
    return text;
}

int Exception::report() {
    return messageBox(reportText().c_str(), "Error!", MB_ICONERROR);
}

} // namespace ExceptionSpace

ExceptionType::ExceptionType(const char* text) {
    copyField(this->text, text);
    detail[0] = '\0';
}

void ExceptionType::setDetail(const char* text) {
    copyField(detail, text);
}

std::string ExceptionType::describe() const {
    std::string result;
    const char* hole = std::strstr(text, "%s");
    if (hole == nullptr) return text;
    result.append(text, hole);
    result.append(detail);
    result.append(hole + 2);
    return result;
}

ExceptionType errFileNotFound("Error - file %s not found! Aborting...");
ExceptionType errOpenFile("Error - couldn't open file %s! Aborting...");
ExceptionType errReadFile("Error - couldn't read file %s! Aborting...");
ExceptionType errTooManyFiles("Error - too many files in FileServer! Aborting...");
ExceptionType errInvalidData("Error - invalid data in file %s! Aborting...");
ExceptionType errOutOfMemory("Error - out of memory! Aborting...");
ExceptionType errGraphicsMode("Error - graphics mode not supported! Aborting...");
ExceptionType errStackOverflow("Error - internal stack overflow! Aborting...");
ExceptionType errCreateWindow("Error - couldn't create window! Aborting...");
ExceptionType errFetchDC("Error - couldn't fetch DC! Aborting...");
ExceptionType errPixelFormat("Error - couldn't set pixel format! Aborting...");
ExceptionType errCreateRC("Error - couldn't create RC! Aborting...");
ExceptionType errImageReader("Error - couldn't initialize image-reader! Aborting...");
ExceptionType errUndefined("Error - an undefined exception was thrown! Aborting...");
ExceptionType errTimerInit("Error - couldn't initialize timer! Aborting...");
ExceptionType errReadMetadata("Error - couldn't read metadata! Aborting...");

const std::string timerNotStartedMessage =
    "An attempt was made to use the timer before it was started!";
const std::string invalidPlatformMessage = "Invalid platform!";

void outOfMemoryHandler() {
    // Making the Error allocates its texts. Should that fail too, the handler is entered again
    // from inside itself: the inner call throws a plain std::bad_alloc instead of recursing,
    // which the catch-all reads as the same out-of-memory failure.
    thread_local bool handling = false;
    if (handling) throw std::bad_alloc();
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{handling};
    handling = true;
    throw Error(errOutOfMemory, "the system could not satisfy an allocation");
}

void installOutOfMemoryHandler() {
    std::set_new_handler(outOfMemoryHandler);
}
