// libjpeg-turbo behind JpegDecoder: the library's fatal errors jump back here instead of ending
// the process, and its warnings go to the message sink instead of stderr.
#include "storage/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace {

// libjpeg may hold at most this much working memory for one picture (progressive JPEGs keep all
// coefficients); a header that claims a gigantic picture fails cleanly instead of exhausting
// the machine.
constexpr long maxLibraryMemory = 256L * 1024 * 1024; // bytes

// The library's warnings that mean pixels were lost or made up: the data ended early (the rest
// is padded grey), the entropy-coded data is corrupt (bad codes, a marker in the middle of a
// segment, junk between segments, a lost restart marker) or the progressive scans contradict
// each other. A picture that raises one is damaged and fails. The other warnings (an unknown
// JFIF revision or Adobe transform code, SOS parameters a sequential JPEG ignores, a bad ICC
// profile, which is never read) leave the pixels whole.
bool meansDamage(int code) {
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_MUST_RESYNC:
    case JWRN_BOGUS_PROGRESSION:
        return true;
    default:
        return false;
    }
}

} // namespace

struct JpegDecoder::Record {
    // libjpeg's error manager first, so that the library's pointer to it is a pointer to us.
    struct ErrorManager {
        jpeg_error_mgr library;
        std::jmp_buf jump;
        Record* owner;
    };

    jpeg_decompress_struct info;
    ErrorManager error;
    bool created = false;
    bool damaged = false; // the library warned of lost or corrupt data (see meansDamage)
    MessageSink sink;
    // Why the last call failed: the library's message or this layer's refusal. A plain buffer,
    // filled inside the library's callbacks where nothing may throw.
    char failure[JMSG_LENGTH_MAX] = {};
    bool failureFromLibrary = false; // failure holds the library's words, not this layer's

    void clearFailure() { failure[0] = '\0'; }

    // Keeps the text of the library's current message as the failure, unless one is kept.
    void noteFailure(j_common_ptr common) {
        if (failure[0] != '\0') return;
        (*common->err->format_message)(common, failure);
        failureFromLibrary = true;
    }

    int refuse(const char* text) {
        std::snprintf(failure, sizeof failure, "%s", text);
        failureFromLibrary = false;
        return 1;
    }
    template <typename First, typename... More>
    int refuse(const char* format, First first, More... more) {
        std::snprintf(failure, sizeof failure, format, first, more...);
        failureFromLibrary = false;
        return 1;
    }

    void send(j_common_ptr common) {
        if (!sink) return;
        char text[JMSG_LENGTH_MAX];
        (*common->err->format_message)(common, text);
        try {
            sink(text);
        } catch (...) {
            // Never unwind through the library's C frames.
        }
    }

    static void errorExit(j_common_ptr common) {
        ErrorManager* error = reinterpret_cast<ErrorManager*>(common->err);
        error->owner->clearFailure(); // the error that ends the call explains it best
        error->owner->noteFailure(common);
        error->owner->send(common);
        std::longjmp(error->jump, 1);
    }

    // msg_level -1 is a warning, 0 and above trace output (dropped).
    static void emitMessage(j_common_ptr common, int level) {
        if (level >= 0) return;
        ErrorManager* error = reinterpret_cast<ErrorManager*>(common->err);
        if (meansDamage(common->err->msg_code)) {
            error->owner->damaged = true;
            error->owner->noteFailure(common);
        }
        // Like the library itself, pass on only the first warning of a picture: corrupt data can
        // raise thousands.
        if (common->err->num_warnings++ == 0) error->owner->send(common);
    }

    static void outputMessage(j_common_ptr common) { (void)common; }
};

JpegDecoder::JpegDecoder() : record(new Record) {}

JpegDecoder::~JpegDecoder() {
    if (record->created) jpeg_destroy_decompress(&record->info);
}

void JpegDecoder::setMessageSink(MessageSink sink) {
    record->sink = std::move(sink);
}

std::string JpegDecoder::failure() const {
    if (record->failure[0] == '\0') return {};
    return (record->failureFromLibrary ? "libjpeg-turbo: " : "") + std::string(record->failure);
}

int JpegDecoder::initialise() {
    Record& r = *record;
    if (r.created) {
        jpeg_destroy_decompress(&r.info);
        r.created = false;
    }
    std::memset(&r.info, 0, sizeof r.info);
    r.info.err = jpeg_std_error(&r.error.library);
    r.error.library.error_exit = &Record::errorExit;
    r.error.library.emit_message = &Record::emitMessage;
    r.error.library.output_message = &Record::outputMessage;
    r.error.owner = &r;
    r.clearFailure();
    if (setjmp(r.error.jump)) return 1;
    jpeg_create_decompress(&r.info);
    r.info.mem->max_memory_to_use = maxLibraryMemory;
    r.created = true;
    return 0;
}

int JpegDecoder::readHeader(const uint8_t* data, size_t size, Header& header) {
    Record& r = *record;
    r.clearFailure();
    if (!r.created) return r.refuse("the decoder is not initialised");
    if (data == nullptr || size == 0) return r.refuse("no JPEG data (0 bytes)");
    r.damaged = false;
    r.error.library.num_warnings = 0;
    if (setjmp(r.error.jump)) {
        jpeg_abort_decompress(&r.info);
        return 1;
    }
    jpeg_mem_src(&r.info, data, static_cast<unsigned long>(size));
    const int status = jpeg_read_header(&r.info, TRUE);
    const bool ok = status == JPEG_HEADER_OK && !r.damaged;
    if (status != JPEG_HEADER_OK && r.failure[0] == '\0')
        r.refuse("no picture in the data (only tables)");
    if (ok) {
        header.width = static_cast<int>(r.info.image_width);
        header.height = static_cast<int>(r.info.image_height);
        header.channels = r.info.num_components;
    }
    jpeg_abort_decompress(&r.info);
    return ok ? 0 : 1;
}

int JpegDecoder::decode(const uint8_t* data, size_t size, uint8_t* pixels, int width, int height) {
    Record& r = *record;
    r.clearFailure();
    if (!r.created) return r.refuse("the decoder is not initialised");
    if (data == nullptr || size == 0) return r.refuse("no JPEG data (0 bytes)");
    if (pixels == nullptr || width <= 0 || height <= 0)
        return r.refuse("no room for a %d x %d picture", width, height);
    r.damaged = false;
    r.error.library.num_warnings = 0;
    if (setjmp(r.error.jump)) {
        jpeg_abort_decompress(&r.info);
        return 1;
    }
    jpeg_mem_src(&r.info, data, static_cast<unsigned long>(size));
    const int header = jpeg_read_header(&r.info, TRUE);
    int status = 0;
    if (header != JPEG_HEADER_OK && r.failure[0] == '\0')
        status = r.refuse("no picture in the data (only tables)");
    else if (header != JPEG_HEADER_OK || r.damaged)
        status = 1; // the library's message is kept
    else if (r.info.num_components != 1 && r.info.num_components != 3)
        status = r.refuse("%d colour components; only grey (1) and colour (3) pictures decode",
                          r.info.num_components);
    else if (r.info.image_width < static_cast<JDIMENSION>(width) ||
             r.info.image_height < static_cast<JDIMENSION>(height))
        status = r.refuse("the picture is %u x %u, smaller than the %d x %d wanted",
                          static_cast<unsigned>(r.info.image_width),
                          static_cast<unsigned>(r.info.image_height), width, height);
    if (status != 0) {
        jpeg_abort_decompress(&r.info);
        return status;
    }
    // Everything else stays at the library's defaults: JDCT_ISLOW, fancy upsampling, no scaling.
    r.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&r.info);
    if (r.info.output_components != 3 || r.damaged) {
        if (!r.damaged) r.refuse("%d output components instead of 3", r.info.output_components);
        jpeg_abort_decompress(&r.info);
        return 1;
    }
    // The row buffer lives in the library's image pool, released by jpeg_abort_decompress, so no
    // C++ object is skipped if the library jumps back.
    JSAMPARRAY row = (*r.info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&r.info),
                                                 JPOOL_IMAGE, r.info.output_width * 3, 1);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    while (r.info.output_scanline < static_cast<JDIMENSION>(height)) {
        const JDIMENSION y = r.info.output_scanline;
        if (jpeg_read_scanlines(&r.info, row, 1) != 1 || r.damaged) {
            if (!r.damaged) r.refuse("row %u could not be decoded", static_cast<unsigned>(y));
            jpeg_abort_decompress(&r.info);
            return 1;
        }
        std::memcpy(pixels + y * rowBytes, row[0], rowBytes);
    }
    // The rows below the wanted ones, if any, are not decoded.
    jpeg_abort_decompress(&r.info);
    return 0;
}
