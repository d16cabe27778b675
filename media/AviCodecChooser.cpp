// The codec chooser of the AVI export: command-line word, SDL message box or terminal prompt.
#include "media/AviCodecChooser.h"

#include "engine/MessageBox.h"
#include "engine/Text.h"
#include "media/ExportFormats.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <unistd.h>

namespace {

std::size_t defaultIndexIn(const std::vector<AviCodec>& codecs, const std::string& name) {
    for (std::size_t i = 0; i < codecs.size(); ++i)
        if (codecs[i].name == name) return i;
    return 0;
}

// One button per codec plus Cancel; Return picks the default, Escape cancels.
// Returns the index, codecs.size() for Cancel, or -1 when no box could be shown.
long askWithMessageBox(const std::vector<AviCodec>& codecs, std::size_t defaultIndex) {
    std::vector<SDL_MessageBoxButtonData> buttons;
    for (std::size_t i = 0; i < codecs.size(); ++i) {
        const Uint32 flags = i == defaultIndex ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0;
        buttons.push_back({flags, static_cast<int>(i), codecs[i].name});
    }
    buttons.push_back(
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, static_cast<int>(codecs.size()), "Cancel"});
    std::string text = "Compression for the video:\n\n";
    for (const AviCodec& codec : codecs)
        text += std::string(codec.name) + " - " + codec.summary + "\n";
    SDL_MessageBoxData data{};
    data.flags = SDL_MESSAGEBOX_INFORMATION;
    data.title = "Video compression";
    data.message = text.c_str();
    data.numbuttons = static_cast<int>(buttons.size());
    data.buttons = buttons.data();
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return -1;
    // Closing the box without a button counts as Cancel.
    if (pressed < 0 || pressed > static_cast<int>(codecs.size()))
        return static_cast<long>(codecs.size());
    return pressed;
}

} // namespace

std::vector<AviCodec> availableAviCodecs() {
    return availableCodecsFor(exportContainers().front());
}

std::vector<AviCodec> availableCodecsFor(const ExportContainer& container) {
    std::vector<AviCodec> codecs;
    for (const std::string& name : codecsForContainer(container)) {
        const ExportCodec* const codec = findExportCodec(name);
        codecs.push_back({codec->name, codec->summary});
    }
    return codecs;
}

std::size_t askCodecByNumber(std::istream& in, std::ostream& out,
                             const std::vector<AviCodec>& codecs, std::size_t defaultIndex) {
    out << "Compression for the video:\n";
    for (std::size_t i = 0; i < codecs.size(); ++i)
        out << "  " << i + 1 << ") " << codecs[i].name << " - " << codecs[i].summary << "\n";
    out << "  0) Cancel\n";
    for (;;) {
        out << "Choice [" << defaultIndex + 1 << "]: " << std::flush;
        std::string line;
        if (!std::getline(in, line)) return codecs.size();
        line.erase(0, line.find_first_not_of(" \t\r"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (line.empty()) return defaultIndex;
        if (line.size() <= 3 && std::all_of(line.begin(), line.end(),
                                            [](unsigned char c) { return std::isdigit(c) != 0; })) {
            const std::size_t number = std::stoul(line);
            if (number == 0) return codecs.size();
            if (number <= codecs.size()) return number - 1;
        }
        const std::string name = lowered(line);
        for (std::size_t i = 0; i < codecs.size(); ++i)
            if (name == codecs[i].name) return i;
        out << "Please answer with a number from 0 to " << codecs.size() << ".\n";
    }
}

AviCodecChoice chooseCodecFor(const ExportContainer& container, const std::string& codecWord) {
    const std::vector<AviCodec> codecs = availableCodecsFor(container);
    if (!codecWord.empty()) {
        for (const AviCodec& codec : codecs)
            if (codecWord == codec.name) return {AviCodecChoice::Chosen, codecWord};
        return {AviCodecChoice::Unknown, codecWord};
    }
    // One codec leaves nothing to ask.
    if (codecs.size() == 1) return {AviCodecChoice::Chosen, codecs.front().name};
    const std::size_t defaultIndex = defaultIndexIn(codecs, container.defaultCodec);
    long index = -1;
    if (displayAvailable()) index = askWithMessageBox(codecs, defaultIndex);
    if (index < 0 && isatty(STDIN_FILENO))
        index = static_cast<long>(askCodecByNumber(std::cin, std::cerr, codecs, defaultIndex));
    if (index < 0) index = static_cast<long>(defaultIndex);
    if (index >= static_cast<long>(codecs.size())) return {AviCodecChoice::Cancelled, ""};
    return {AviCodecChoice::Chosen, codecs[static_cast<std::size_t>(index)].name};
}
