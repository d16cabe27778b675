// Small text helpers shared by the readers of words.
#pragma once

#include <string>

// A copy with the ASCII capitals A-Z made small; every other byte is kept.
inline std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}
