// The key the seek index seeds are written for and the fuzz target opens them with: a file
// made for any other key is refused before its table is read.
#pragma once

#include "app/SeekIndexFile.h"

inline SeekFileKey seekFuzzKey() {
    SeekFileKey key;
    key.fill(0x5a);
    return key;
}
