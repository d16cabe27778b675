// The error objects: catalogue texts, the 1023-character cut, report texts, out of memory.
#include "engine/Exception.h"
#include "engine/Error.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define DEMO_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DEMO_UNDER_ASAN 1
#endif
#endif

namespace {

const char* const noPosition = "The error occured in an unknown position in the code.\n"
                               "(This means it was probably thrown by the system itself.)";

TEST(Catalogue, TextsInOrder) {
    const ExceptionType* entries[] = {
        &errFileNotFound, &errOpenFile,    &errReadFile,     &errTooManyFiles,
        &errInvalidData,  &errOutOfMemory, &errGraphicsMode, &errStackOverflow,
        &errCreateWindow, &errFetchDC,     &errPixelFormat,  &errCreateRC,
        &errImageReader,  &errUndefined,   &errTimerInit,    &errReadMetadata};
    const char* texts[] = {
        "Error - file %s not found! Aborting...",
        "Error - couldn't open file %s! Aborting...",
        "Error - couldn't read file %s! Aborting...",
        "Error - too many files in FileServer! Aborting...",
        "Error - invalid data in file %s! Aborting...",
        "Error - out of memory! Aborting...",
        "Error - graphics mode not supported! Aborting...",
        "Error - internal stack overflow! Aborting...",
        "Error - couldn't create window! Aborting...",
        "Error - couldn't fetch DC! Aborting...",
        "Error - couldn't set pixel format! Aborting...",
        "Error - couldn't create RC! Aborting...",
        "Error - couldn't initialize image-reader! Aborting...",
        "Error - an undefined exception was thrown! Aborting...",
        "Error - couldn't initialize timer! Aborting...",
        "Error - couldn't read metadata! Aborting...",
    };
    for (size_t k = 0; k < 16; ++k)
        EXPECT_STREQ(entries[k]->getText(), texts[k]) << "catalogue entry " << k + 1;
    EXPECT_EQ(timerNotStartedMessage,
              "An attempt was made to use the timer before it was started!");
    EXPECT_EQ(invalidPlatformMessage, "Invalid platform!");
}

TEST(ExceptionTypeValue, FieldsAreCutAndCopiesIndependent) {
    const std::string longText(2000, 't');
    ExceptionType error(longText.c_str());
    EXPECT_EQ(std::strlen(error.getText()), 1023u) << "text cut to 1023 characters";
    EXPECT_STREQ(error.getDetail(), "") << "detail starts empty";
    error.setDetail(std::string(5000, 'd').c_str());
    EXPECT_EQ(std::strlen(error.getDetail()), 1023u) << "detail cut to 1023 characters";

    ExceptionType entry("Error - couldn't open file %s! Aborting...");
    entry.setDetail("data/dovari1.jpg");
    const ExceptionType thrown(entry);
    entry.setDetail("other.jpg");
    EXPECT_STREQ(thrown.getDetail(), "data/dovari1.jpg") << "a thrown copy keeps its detail";
    EXPECT_EQ(thrown.describe(), "Error - couldn't open file data/dovari1.jpg! Aborting...")
        << "describe fills the template";
    EXPECT_EQ(ExceptionType("no hole").describe(), "no hole");
}

TEST(ExceptionReport, PositionTexts) {
    const ExceptionSpace::Exception timerError(timerNotStartedMessage, "Timer", 102);
    EXPECT_EQ(timerError.reportText(),
              "Error - An attempt was made to use the timer before it was started!\n\n"
              "The error occured in the file 'Timer' at line 102.")
        << "file-and-line text";

    const std::string unknown = std::string("Error - Invalid platform!\n\n") + noPosition;
    EXPECT_EQ(ExceptionSpace::Exception(invalidPlatformMessage, nullptr, 102).reportText(), unknown)
        << "a null file means no known position";
    EXPECT_EQ(ExceptionSpace::Exception(invalidPlatformMessage, "GraphicsFactory", -1).reportText(),
              unknown)
        << "line -1 means no known position";

    const ExceptionSpace::Exception huge(std::string(5000, 'm'), std::string(3000, 'f').c_str(), 7);
    EXPECT_LE(huge.reportText().size(), 1023u) << "over-long texts are cut to their buffer";
}

TEST(ExceptionReport, ReportEchoesOnStandardError) {
    ExceptionSpace::Exception error("boom", "Here", 5);
    ::testing::internal::CaptureStderr();
    error.report(); // no display under the dummy video driver: only standard error
    const std::string echoed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(echoed.find("Error!: Error - boom"), std::string::npos) << echoed;
}

TEST(OutOfMemory, ImpossibleAllocationThrowsTheCatalogueError) {
#ifdef DEMO_UNDER_ASAN
    GTEST_SKIP() << "the sanitizer's allocator aborts on impossible sizes instead of failing";
#else
    installOutOfMemoryHandler();
    const volatile size_t impossible = static_cast<size_t>(-1) / 2;
    void* volatile block = nullptr;
    try {
        block = ::operator new(impossible);
        ADD_FAILURE() << "an impossible allocation must not succeed";
        ::operator delete(block);
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), "Error - out of memory! Aborting...")
            << "the new-handler throws the errOutOfMemory text";
        EXPECT_FALSE(e.reason().empty()) << "with a reason";
        EXPECT_FALSE(e.shown()) << "nobody has shown it: the catch-all says \"Sorry.\"";
    }
    // A nothrow new must still yield null: the handler's Error may not escape it (which would
    // end the process) nor turn into a pointer.
    EXPECT_EQ(::operator new(impossible, std::nothrow), nullptr) << "nothrow operator new";
    uint8_t* array = new (std::nothrow) uint8_t[impossible];
    EXPECT_EQ(array, nullptr) << "nothrow array new";
    delete[] array;
    EXPECT_EQ(std::get_new_handler(), &outOfMemoryHandler) << "the handler stays installed";
    std::set_new_handler(nullptr);
#endif
}

} // namespace
