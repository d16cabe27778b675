// pack: writes a pack file from a list of files, or lists the directory of one.
#include "tools/pack/PackFormat.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

namespace {

const char* const usage =
    "usage: pack OUT.dat NAME=FILE [NAME=FILE ...]\n"
    "       pack --list PACK\n"
    "\n"
    "The first form writes the pack OUT.dat holding each FILE under NAME, the path the show\n"
    "asks for (for example data/dovari1.jpg=pictures/sunrise.jpg). An argument without \"=\" is\n"
    "stored under its own text. Names are split from the file at the first \"=\"; they must be\n"
    "1 to 511 bytes and must not contain \"@\". A pack holds at most 1024 files.\n"
    "The second form lists the files of PACK: offset, size in bytes and name.\n";

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int list(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) {
        std::cerr << "pack: cannot read " << path << "\n";
        return 1;
    }
    std::vector<pack::ListedEntry> entries;
    std::string error;
    if (!pack::readDirectory(bytes, entries, error)) {
        std::cerr << "pack: " << path << ": " << error << "\n";
        return 1;
    }
    int faults = 0;
    for (size_t k = 0; k < entries.size(); ++k) {
        const pack::ListedEntry& e = entries[k];
        std::printf("%10lld %10lld  %s", static_cast<long long>(e.offset),
                    static_cast<long long>(e.size), e.name.c_str());
        if (e.size < 0 || e.offset + e.size > static_cast<int64_t>(bytes.size())) {
            std::printf("  (not inside the pack)");
            ++faults;
        }
        if (pack::isShadowed(entries, k)) std::printf("  (hidden by an earlier entry)");
        std::printf("\n");
    }
    std::printf("%zu file(s)\n", entries.size());
    return faults == 0 ? 0 : 1;
}

int write(const std::string& out, int count, char** arguments) {
    std::vector<pack::Entry> entries;
    for (int i = 0; i < count; ++i) {
        const std::string argument = arguments[i];
        const size_t equals = argument.find('=');
        pack::Entry entry;
        entry.name = equals == std::string::npos ? argument : argument.substr(0, equals);
        const std::string file =
            equals == std::string::npos ? argument : argument.substr(equals + 1);
        if (!readWholeFile(file, entry.bytes)) {
            std::cerr << "pack: cannot read " << file << "\n";
            return 1;
        }
        entries.push_back(std::move(entry));
    }
    std::vector<uint8_t> bytes;
    try {
        bytes = pack::buildPack(entries);
    } catch (const std::runtime_error& error) {
        std::cerr << "pack: " << error.what() << "\n";
        return 1;
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::cerr << "pack: cannot write " << out << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0) return list(argv[2]);
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << usage;
        return 0;
    }
    if (argc < 3 || argv[1][0] == '-') {
        std::cerr << usage;
        return 2;
    }
    return write(argv[1], argc - 2, argv + 2);
}
