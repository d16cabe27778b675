// Fuzz target: the seek index kept on disk. The bytes are a whole file: open it for the seeds'
// key, read its snapshots (the first eight) and restore each into a show, once with the
// checksums checked and once without, so that what lies behind them is reached as well.
#include "MemoryFile.h"
#include "SeekFuzzKey.h"
#include "app/Show.h"

#include <cstdlib>
#include <exception>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile file(data, size);
    if (!file.ok()) return 0;
    // A show's buffers take 22 MB: one show for every input.
    static Show* const show = new Show;
    for (const bool checkSums : {true, false}) {
        std::string why;
        const std::unique_ptr<SeekIndexFile> index =
            SeekIndexFile::open(file.name(), seekFuzzKey(), why, checkSums);
        if (index == nullptr) {
            if (why.empty()) std::abort(); // every refusal says why
            continue;
        }
        for (size_t i = 0; i < index->frames().size() && i < 8; ++i) {
            try {
                restoreSnapshot(index->read(i), *show);
            } catch (const std::exception&) {
                // Refused: damaged bytes are found, never read past.
            }
        }
    }
    return 0;
}
