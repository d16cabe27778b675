// Fuzz target: the pack directory. The bytes are a whole pack: parse its directory, then read
// every entry it lists, as the FileServer does for the pictures.
#include "MemoryFile.h"
#include "storage/FileServer.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile pack(data, size);
    if (!pack.ok()) return 0;
    PackDirectory directory;
    if (directory.parse(pack.name()) != 0) return 0;
    for (int k = 0; k < directory.getCount(); ++k) {
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
