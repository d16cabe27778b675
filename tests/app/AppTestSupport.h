// What the app tests share: the generated pack's show, loaded once and never stepped, and the
// MD5 of a 24-bit frame as demo-render prints it.
#pragma once

#include "app/Run.h"
#include "app/Show.h"
#include "storage/FileServer.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/md5.h>
}

// The show of `pack` (opened as the process's pack on the first call), its pictures loaded.
inline const Show& preparedShow(const std::string& pack) {
    static std::unique_ptr<Show> prepared;
    if (prepared == nullptr) {
        createServers();
        processFileServer()->open(pack);
        prepared = std::make_unique<Show>();
        prepared->loadPictures();
    }
    return *prepared;
}

inline std::string md5Of(const uint8_t* frame24) {
    uint8_t digest[16];
    av_md5_sum(digest, frame24, 640 * 480 * 3);
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}
