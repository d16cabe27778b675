// The pack writer and directory reader.
#include "tools/pack/PackFormat.h"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace pack {

namespace {

std::string foldCase(const std::string& text) {
    std::string folded = text;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::string baseName(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

std::string nameProblem(const std::string& name) {
    if (name.empty()) return "a name must not be empty";
    if (name.size() > maxNameLength) return "a name must not be longer than 511 bytes";
    if (name.find('@') != std::string::npos) return "a name must not contain \"@\"";
    if (name.find('\0') != std::string::npos) return "a name must not contain a zero byte";
    return "";
}

std::vector<uint8_t> buildPack(const std::vector<Entry>& entries) {
    if (entries.size() > static_cast<size_t>(maxEntries))
        throw std::runtime_error("a pack holds at most 1024 files");
    std::string head(marker, markerLength);
    head += separator;
    for (const Entry& entry : entries) {
        const std::string problem = nameProblem(entry.name);
        if (!problem.empty()) throw std::runtime_error(problem + ": " + entry.name);
        head += entry.name + "@" + std::to_string(entry.bytes.size()) + "@";
    }
    head += "@";

    uint64_t total = head.size();
    for (const Entry& entry : entries)
        total += entry.bytes.size();
    if (total > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        throw std::runtime_error("a pack must stay below 2 GiB");

    std::vector<uint8_t> pack(head.begin(), head.end());
    pack.reserve(static_cast<size_t>(total));
    for (const Entry& entry : entries)
        pack.insert(pack.end(), entry.bytes.begin(), entry.bytes.end());
    return pack;
}

bool readDirectory(const std::vector<uint8_t>& pack, std::vector<ListedEntry>& entries,
                   std::string& error) {
    entries.clear();
    const size_t n = pack.size();
    // The first occurrence of the marker; a mismatching byte is not retried as a new start.
    size_t i = 0;
    size_t m = 0;
    while (m < markerLength) {
        if (i >= n) {
            error = "no pack marker found";
            return false;
        }
        m = pack[i] == static_cast<uint8_t>(marker[m]) ? m + 1 : 0;
        ++i;
    }
    if (i >= n) {
        error = "the pack ends at its marker";
        return false;
    }
    size_t p = i + 1; // past the separator
    std::vector<int64_t> sizes;
    int atCount = 0;
    bool expectSize = false;
    std::string name;
    while (true) {
        if (p >= n) {
            error = "the directory runs into the end of the pack";
            return false;
        }
        if (pack[p] == '@') {
            ++p;
            if (++atCount == 2) break;
            continue;
        }
        size_t end = p;
        while (end < n && pack[end] != '@')
            ++end;
        if (end >= n) {
            error = "the directory runs into the end of the pack";
            return false;
        }
        const std::string field(reinterpret_cast<const char*>(pack.data() + p), end - p);
        if (expectSize) {
            if (entries.size() >= static_cast<size_t>(maxEntries)) {
                error = "more than 1024 entries";
                return false;
            }
            ListedEntry entry;
            entry.name = name;
            entry.size = std::strtoll(field.c_str(), nullptr, 10);
            entries.push_back(entry);
            p = end + 1;
            expectSize = false;
        } else {
            if (field.size() > maxNameLength) {
                error = "a name longer than 511 bytes";
                return false;
            }
            atCount = 0;
            name = field;
            p = end;
            expectSize = true;
        }
    }
    int64_t offset = static_cast<int64_t>(p);
    for (ListedEntry& entry : entries) {
        entry.offset = offset;
        offset += entry.size;
    }
    return true;
}

bool isShadowed(const std::vector<ListedEntry>& entries, size_t k) {
    const std::string wanted = foldCase(entries[k].name);
    for (size_t j = 0; j < k; ++j) {
        const std::string stored = foldCase(entries[j].name);
        if (stored == wanted || baseName(stored) == wanted) return true;
    }
    return false;
}

} // namespace pack
