// Fuzz target: the pack directory. The bytes are a whole pack: parse its directory, then read
// the entries it lists, as the FileServer does for the pictures.
#include "MemoryFile.h"
#include "storage/FileServer.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile pack(data, size);
    if (!pack.ok()) return 0;
    PackDirectory directory;
    if (directory.parse(pack.name()) != 0) {
        // Every refusal says why, quoting only a few bytes of the pack.
        const size_t reasonLength = directory.getProblem().size();
        if (reasonLength == 0 || reasonLength > pack.name().size() + 512) std::abort();
        return 0;
    }
    // Each lookup compares against every name, so reading all of a long directory costs the
    // square of its length: of more than 64 entries the first and last 32 are read.
    const int count = directory.getCount();
    for (int k = 0; k < count; k = (count > 64 && k == 31) ? count - 32 : k + 1) {
        const std::string& name = directory.getName(k);
        std::unique_ptr<uint8_t[]> block(directory.readFile(name));
        const int32_t size = directory.getFileSize(name);
        // A block, when there is one, holds the entry's stored size; touch both ends.
        if (block && size > 0) {
            volatile uint8_t ends = block[0] ^ block[size - 1];
            (void)ends;
        }
    }
    return 0;
}
