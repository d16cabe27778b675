// The header tokens of a PPM file, shared by the screenshot checkers.
#pragma once

#include <cstdio>
#include <string>

// Reads the next blank-separated token (skipping # comments) into token; false at the end of
// the file or for a token longer than 16 characters, which no PPM header has.
inline bool readToken(std::FILE* file, std::string& token) {
    token.clear();
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        if (c == '#') {
            while (c != EOF && c != '\n')
                c = std::fgetc(file);
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!token.empty()) return true;
        } else {
            token.push_back(static_cast<char>(c));
            if (token.size() > 16) return false;
        }
    }
    return !token.empty();
}
