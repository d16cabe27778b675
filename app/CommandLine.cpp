// Command-line matching: a lower-cased copy searched for plain substrings (video, the sound-off
// words), and whole blank-separated tokens for the words that take a value or must stand alone
// (end=N, codec=NAME, windowed).
#include "app/CommandLine.h"

#include <cctype>
#include <sstream>

namespace {

std::string lowered(const std::string& text) {
    std::string copy = text;
    for (char& c : copy)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return copy;
}

} // namespace

bool parseVideoFlag(const std::string& commandLine) {
    return lowered(commandLine).find("video") != std::string::npos;
}

bool parseSoundFlag(const std::string& commandLine) {
    static const char* const soundOffWords[] = {
        "noaudio",  "no audio",  "audio off", "audio=off", "audio=0",
        "no sound", "sound off", "sound=off", "sound=0",
    };
    const std::string text = lowered(commandLine);
    for (const char* word : soundOffWords)
        if (text.find(word) != std::string::npos) return false;
    return true;
}

std::string commandLineValue(const std::string& commandLine, const std::string& name) {
    std::istringstream tokens(commandLine);
    const std::string prefix = lowered(name) + "=";
    std::string token;
    while (tokens >> token)
        if (lowered(token).compare(0, prefix.size(), prefix) == 0)
            return token.substr(prefix.size());
    return "";
}

bool hasCommandLineWord(const std::string& commandLine, const std::string& word) {
    std::istringstream tokens(commandLine);
    std::string token;
    while (tokens >> token)
        if (lowered(token) == lowered(word)) return true;
    return false;
}

std::string joinArguments(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}
