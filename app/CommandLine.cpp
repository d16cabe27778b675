// The one reader of the command line's words and whole numbers.
#include "app/CommandLine.h"

#include "app/ShowClock.h"
#include "engine/Text.h"

#include <climits>
#include <sstream>

CommandWords::CommandWords(std::string commandLine)
    : line(std::move(commandLine)), lowerLine(lowered(line)) {
    std::istringstream stream(line);
    std::string token;
    while (stream >> token)
        tokens.push_back(token);
}

bool CommandWords::containsPhrase(const std::string& phrase) const {
    return lowerLine.find(lowered(phrase)) != std::string::npos;
}

bool CommandWords::hasWord(const std::string& word) const {
    const std::string wanted = lowered(word);
    for (const std::string& token : tokens)
        if (lowered(token) == wanted) return true;
    return false;
}

std::vector<std::string> CommandWords::values(const std::string& name) const {
    const std::string prefix = lowered(name) + "=";
    std::vector<std::string> found;
    for (const std::string& token : tokens)
        if (lowered(token).compare(0, prefix.size(), prefix) == 0)
            found.push_back(token.substr(prefix.size()));
    return found;
}

std::optional<long> readWholeNumber(const std::string& text, long lo, long hi) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lo || value > hi) return std::nullopt;
    return value;
}

namespace {

// "end=3 end=5" for the refusal of a word given more than once.
std::string listed(const std::string& name, const std::vector<std::string>& values) {
    std::string text;
    for (const std::string& value : values)
        text += (text.empty() ? "" : " ") + name + "=" + value;
    return text;
}

// A NAME=VALUE word that may be given once: its value, or a problem.
std::optional<std::string> singleValue(const CommandWords& words, const std::string& name,
                                       std::string& problem) {
    const std::vector<std::string> values = words.values(name);
    if (values.empty()) return std::nullopt;
    if (values.size() > 1) {
        problem = name + "= is given twice (" + listed(name, values) + ")";
        return std::nullopt;
    }
    return values.front();
}

// Keeps the first problem met.
void note(std::string& problem, const std::string& text) {
    if (problem.empty()) problem = text;
}

ExportOptions readExportOptions(const CommandWords& words) {
    ExportOptions options;
    std::string problem;
    if (auto out = singleValue(words, "out", problem)) {
        options.out = *out;
        if (options.out.empty()) note(problem, "out= needs a file name (or - for standard output)");
    }
    if (auto codec = singleValue(words, "codec", problem)) options.codec = lowered(*codec);
    const NumberWord scale = readNumberWord(words, "scale", 1, 4, "1, 2, 3 or 4");
    note(problem, scale.problem);
    options.scale = scale.given && scale.problem.empty() ? static_cast<int>(scale.value) : 0;
    // Each encoder has its own range; the writer checks the number against the chosen one.
    const NumberWord crf = readNumberWord(words, "crf", 0, 63, "a whole number from 0 to 63");
    note(problem, crf.problem);
    options.crf = static_cast<int>(crf.value);
    const NumberWord start = readNumberWord(words, "start", 0, INT_MAX, "a tick count");
    note(problem, start.problem);
    options.start = static_cast<int>(start.value);
    const NumberWord end = readNumberWord(words, "end", 0, INT_MAX, "a tick count");
    note(problem, end.problem);
    options.end = static_cast<int>(end.value);
    options.problem = problem;
    return options;
}

} // namespace

NumberWord readNumberWord(const CommandWords& words, const std::string& name, long lo, long hi,
                          const std::string& takes) {
    NumberWord word;
    const std::optional<std::string> text = singleValue(words, name, word.problem);
    word.given = text.has_value() || !word.problem.empty();
    if (!text) return word;
    if (const std::optional<long> value = readWholeNumber(*text, lo, hi))
        word.value = *value;
    else
        word.problem = name + "=" + *text + " is not " + takes;
    return word;
}

RunOptions readRunOptions(const std::string& commandLine) {
    const CommandWords words(commandLine);
    RunOptions options;
    options.videoMode = parseVideoFlag(commandLine);
    options.soundOn = parseSoundFlag(commandLine);
    options.windowed = words.hasWord("windowed");
    options.savedIndex = !words.hasWord("nocache");
    if (options.videoMode) {
        options.exportOptions = readExportOptions(words);
        options.end = options.exportOptions.end;
        return options;
    }
    options.scaleFit = words.hasWord("scale=fit");
    const NumberWord end = readNumberWord(words, "end", 0, INT_MAX, "a tick count");
    if (!end.problem.empty()) options.notes.push_back(end.problem + "; the show runs to its end");
    options.end = static_cast<int>(end.value);
    const NumberWord start = readNumberWord(words, "start", 0, showEndTicks - 1,
                                            "a tick count before the show's end (63900)");
    if (!start.problem.empty())
        options.notes.push_back(start.problem + "; the show starts at its beginning");
    options.start = static_cast<int>(start.value);
    const std::vector<std::string> scales = words.values("scale");
    if (!scales.empty() && !options.scaleFit)
        options.notes.push_back("scale=" + scales.front() +
                                " is not known (only scale=fit); the picture is scaled sharp");
    return options;
}

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

std::string joinArguments(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}
