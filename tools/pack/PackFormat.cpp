// The pack writer and directory reader.
#include "tools/pack/PackFormat.h"

#include <limits>
#include <stdexcept>

namespace pack {

std::string nameProblem(const std::string& name) {
    if (name.empty()) return "a name must not be empty";
    if (name.size() > static_cast<size_t>(maxNameLength))
        return "a name must not be longer than 511 bytes";
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
    std::vector<packformat::Entry> directory;
    if (packformat::parseDirectory(pack.data(), pack.size(), directory, &error) != 0) return false;
    for (const packformat::Entry& entry : directory)
        entries.push_back(ListedEntry{entry.name, entry.offset, entry.size});
    return true;
}

bool isShadowed(const std::vector<ListedEntry>& entries, size_t k) {
    for (size_t j = 0; j < k; ++j)
        if (packformat::nameAnswers(entries[j].name, entries[k].name)) return true;
    return false;
}

} // namespace pack
