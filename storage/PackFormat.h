// The pack format, as the show reads it and the pack tool writes it.
//
// Layout: any bytes, the 45-byte marker, one separator byte, the directory (entries
// "name@size@", closed by one more "@"), then the files back to back in directory order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace packformat {

constexpr const char* marker = "@@ZembrilBundleToolMarkerSignatureBlock2001xx";
constexpr std::size_t markerLength = 45;
constexpr char separator = '\n'; // the byte after the marker; readers skip it unseen
constexpr int maxEntries = 1024;
constexpr int maxNameLength = 511; // bytes

// Results of parseDirectory (and of PackDirectory::parse, which adds the file's own).
constexpr int statusNoMarker = -5;
constexpr int statusMalformed = -6;

struct Entry {
    std::string name;
    int32_t size = 0;   // bytes, as the directory says (a size past 32 bits sticks at the limit)
    int64_t offset = 0; // bytes from the start of the pack; may lie outside it
};

// Reads the directory from the whole pack's bytes: 0 with the entries in directory order, or
// statusNoMarker or statusMalformed with a reason for people in reason (when not null): what
// the parser met (quoted), which entry, and at which byte. The
// first occurrence of the marker counts; a directory that runs into the end of the pack, holds
// more than maxEntries entries or a name longer than maxNameLength bytes is malformed. Sizes
// are read as a 32-bit decimal (leading blanks and a sign allowed) and are not checked
// against the pack: a negative size or bytes past the end are for the reader to refuse.
int parseDirectory(const uint8_t* pack, std::size_t length, std::vector<Entry>& entries,
                   std::string* reason = nullptr);

// True when a request for request finds the stored name: equal, or equal to its part after
// the last "/", with A-Z folded to a-z.
bool nameAnswers(const std::string& storedName, const std::string& request);

} // namespace packformat
