// Reading the command line: the program's arguments joined by single blanks.
#pragma once

#include <string>

// True when "video" occurs anywhere in the lower-cased text.
bool parseVideoFlag(const std::string& commandLine);
// False when one of the nine sound-off words occurs anywhere in the lower-cased text.
bool parseSoundFlag(const std::string& commandLine);

// The value of a blank-separated token NAME=VALUE (name matched without regard to case), or
// the empty text when there is none.
std::string commandLineValue(const std::string& commandLine, const std::string& name);
// True when a blank-separated token equals word (without regard to case).
bool hasCommandLineWord(const std::string& commandLine, const std::string& word);

// argv[1..] joined by single blanks.
std::string joinArguments(int argc, char** argv);
