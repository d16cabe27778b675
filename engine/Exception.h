// The error catalogue (ExceptionType entries, whose texts the thrown Errors of engine/Error.h
// carry), the report of a positioned Exception, and the out-of-memory new-handler.
#pragma once

#include <string>

namespace ExceptionSpace {

// An error with a source position and a report box. Nothing throws it (failures throw Error);
// it stays because report() and its texts are part of the error objects' interface.
class Exception {
  public:
    // file may be null (an empty file name); line -1 means no known position.
    Exception(const std::string& message, const char* file, int line);
    virtual ~Exception();

    // Shows the error in an "Error!" message box; returns the box's result.
    virtual int report();

    // The text report() shows, composed in 1024-character buffers (longer texts are cut).
    std::string reportText() const;

    const std::string& getMessage() const { return message; }
    const std::string& getFile() const { return file; }
    int getLine() const { return line; }

  private:
    std::string message;
    std::string file;
    int line;
};

} // namespace ExceptionSpace

// A catalogue entry: a message template and the name its "%s" stands for, each at most 1023
// characters. A failure that names an entry throws Error(entry, reason) (engine/Error.h).
class ExceptionType {
  public:
    static constexpr int fieldSize = 1024;

    explicit ExceptionType(const char* text);

    // Copies text into the detail field (cut at 1023 characters).
    void setDetail(const char* text);

    const char* getText() const { return text; }
    const char* getDetail() const { return detail; }

    // The template with its "%s" replaced by the detail, for telling a user what failed.
    std::string describe() const;

  private:
    char text[fieldSize];
    char detail[fieldSize];
};

// The error catalogue, constructed before the entry point (in Exception.cpp's order).
// Thrown by the data classes and the out-of-memory handler:
extern ExceptionType errFileNotFound;
extern ExceptionType errOpenFile;
extern ExceptionType errReadFile;
extern ExceptionType errTooManyFiles;
extern ExceptionType errOutOfMemory;
extern ExceptionType errImageReader;
extern ExceptionType errReadMetadata;
// Thrown by nothing today; kept so that the catalogue's sixteen texts stay whole.
extern ExceptionType errInvalidData;
extern ExceptionType errGraphicsMode;
extern ExceptionType errStackOverflow;
extern ExceptionType errCreateWindow;
extern ExceptionType errFetchDC;
extern ExceptionType errPixelFormat;
extern ExceptionType errCreateRC;
extern ExceptionType errUndefined;
extern ExceptionType errTimerInit;

// The texts of the Timer's and the GraphicsFactory's failures (thrown as Error), and the
// position an Exception report of each would name. The positions are fixed labels (a unit's
// name and a number), the same in every build so that a report always reads the same; they
// are not places in these source files.
extern const std::string timerNotStartedMessage; // Timer::update before Timer::start
constexpr const char* timerNotStartedFile = "Timer";
constexpr int timerNotStartedLine = 102;
extern const std::string invalidPlatformMessage; // GraphicsFactory::instance, unknown platform
constexpr const char* invalidPlatformFile = "GraphicsFactory";
constexpr int invalidPlatformLine = 73;

// The process's new-handler once start-up has installed it: never returns, throws
// Error(errOutOfMemory) (a nothrow new still yields null: the library catches what it throws).
void outOfMemoryHandler();

// Installs outOfMemoryHandler as the new-handler.
void installOutOfMemoryHandler();
