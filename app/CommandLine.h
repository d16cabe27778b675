// Reading the command line, once per run: the program's arguments joined by single blanks.
// Two kinds of word:
// - phrases, found as plain text anywhere in the lower-cased line: "video" and the nine
//   sound-off words ("noaudio", "sound off", ...);
// - whole blank-separated words, names without regard to case: windowed, nocache, scale=,
//   start=, end=, and the export's out=, codec=, crf=. A number is written in digits only; a NAME=
//   word given twice is refused rather than one of the two being picked.
#pragma once

#include "media/ExportOptions.h"

#include <optional>
#include <string>
#include <vector>

// The words of one command line.
class CommandWords {
  public:
    explicit CommandWords(std::string commandLine);

    // True when the lower-cased phrase occurs anywhere in the lower-cased line.
    bool containsPhrase(const std::string& phrase) const;
    // True when a blank-separated word equals `word` (without regard to case).
    bool hasWord(const std::string& word) const;
    // Every value of NAME=VALUE words with this name, in order (case of the value kept).
    std::vector<std::string> values(const std::string& name) const;

  private:
    std::string line;
    std::string lowerLine;
    std::vector<std::string> tokens;
};

// The value of `text` when it is a whole number in digits only from lo to hi.
std::optional<long> readWholeNumber(const std::string& text, long lo, long hi);

// A NAME=N word read as a whole number: absent, given and valid, or refused with a reason.
struct NumberWord {
    bool given = false;
    long value = -1;     // -1 unless given and valid
    std::string problem; // "" or why it is refused: "end=+3 is not a tick count", "end= is
                         // given twice (end=3 end=5)"
};
// `takes` says what the word takes ("a tick count", "1, 2, 3 or 4").
NumberWord readNumberWord(const CommandWords& words, const std::string& name, long lo, long hi,
                          const std::string& takes);

// Everything a run takes from its command line.
struct RunOptions {
    bool videoMode = false; // "video" anywhere
    bool soundOn = true;    // no sound-off word
    bool windowed = false;  // the word windowed
    bool scaleFit = false;  // the word scale=fit (playback)
    bool savedIndex = true; // no word nocache: the seek index kept on disk is read and written
    int start = -1;         // playback's start=N, 0 to 63,899; -1 from the show's start
    int end = -1;           // end=N: the run stops once the clock reaches N; -1 at the show's end
    ExportOptions exportOptions; // video mode's words; its problem refuses the export
    // Playback: one line each for words that are refused and so left out (the show then runs as
    // without them), for standard error.
    std::vector<std::string> notes;
};
RunOptions readRunOptions(const std::string& commandLine);

// True when "video" occurs anywhere in the lower-cased text.
bool parseVideoFlag(const std::string& commandLine);
// False when one of the nine sound-off words occurs anywhere in the lower-cased text.
bool parseSoundFlag(const std::string& commandLine);

// argv[1..] joined by single blanks.
std::string joinArguments(int argc, char** argv);
