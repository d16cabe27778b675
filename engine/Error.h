// The one thing the program throws when it cannot go on: the text its user sees and the real
// reason behind it (what a parser met, what a library or the system said), and whether a box
// has already told the user, in which case the run ends with the given exit code and no
// "Sorry." follows.
//
//   throw Error(errOpenFile, "data/x.jpg: No such file or directory"); // a catalogue entry
//   throw Error("Couldn't open the sound device", SDL_GetError());   // a failure of its own
//   throw Error::exit(1);        // after an "Error!" box: the run ends with code 1
//
// The top-level handler prints explanation() on standard error before "Sorry." (or nothing,
// for an Error whose box was shown) and returns exitCode().
#pragma once

#include <string>

class ExceptionType;

class Error {
  public:
    // A failure nobody has shown yet: the catch-all explains it and shows "Sorry.".
    explicit Error(std::string text, std::string reason = {});
    // A catalogue entry's failure: its text with "%s" replaced by the entry's detail.
    explicit Error(const ExceptionType& entry, std::string reason = {});
    // The run ends with exitCode; whoever throws it has told the user why (a box, a line).
    static Error exit(int exitCode, std::string text = {}, std::string reason = {});

    const std::string& text() const { return userText; }
    const std::string& reason() const { return why; }
    // Whether the user has been told already (an exit); the catch-all then stays quiet.
    bool shown() const { return wasShown; }
    // 0 for a failure not shown ("Sorry." ends a run with 0), else the exit's code.
    int exitCode() const { return code; }
    // One line for standard error: "text: reason", or whichever of them is not empty.
    std::string explanation() const;

  private:
    std::string userText;
    std::string why;
    bool wasShown = false;
    int code = 0;
};

// Inside a catch block: what is being handled, as an Error. An std::bad_alloc is the
// catalogue's out-of-memory failure; anything else that is not an Error becomes "an undefined
// exception" with what can be said of it.
Error currentError();
