// OImage: decoding of colour and grey JPEGs, the kept top-left of larger pictures, and every kind
// of bad picture ending in errReadFile with the path as detail and the reason behind it.
#include "storage/OImage.h"
#include "engine/Error.h"
#include "engine/Exception.h"
#include "storage/JpegDecoder.h"
#include "tests/storage/PicturesTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

const std::string path = "data/dovari1.jpg";

const std::string readFileText = "Error - couldn't read file " + path + "! Aborting...";

// Loads path from a pack holding one file under that name; expects errReadFile naming the path
// and returns the Error's reason.
std::string expectReadFileError(const std::vector<uint8_t>& bytes, const char* what) {
    PackFixture fixture({{path, bytes}});
    std::string reason = "<no error>";
    try {
        OImage image(path, -1, -1);
        ADD_FAILURE() << what << ": the load should have failed";
    } catch (const Error& error) {
        EXPECT_EQ(error.text(), readFileText) << what << ": errReadFile naming the picture";
        EXPECT_FALSE(error.reason().empty()) << what << ": a reason is given";
        reason = error.reason();
    }
    EXPECT_EQ(std::string(fixture.debug->getLastText()),
              "{OImage::OImage()}: Reading " + path + "...Failed!")
        << what << ": the failure is logged on the progress line";
    return reason;
}

// Expects the bad picture to fail with exactly the reason given.
void expectReason(const std::vector<uint8_t>& bytes, const std::string& reason, const char* what) {
    EXPECT_EQ(expectReadFileError(bytes, what), reason) << what;
}

// Position of the JPEG's frame header (the SOFn marker's first byte), or 0 when there is none.
size_t frameHeaderAt(const std::vector<uint8_t>& jpeg) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xC0 && jpeg[i + 1] <= 0xC2) return i;
    return 0;
}

int maxDifference(const uint8_t* a, const uint8_t* b, size_t count) {
    int worst = 0;
    for (size_t i = 0; i < count; ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

} // namespace

TEST(OImageDecoding, ColourPictureDecodesToRgbRowsTopToBottom) {
    const std::vector<uint8_t> jpeg = colourJpeg(640, 240);
    PackFixture fixture({{path, jpeg}});
    OImage image(path, -1, -1);
    EXPECT_TRUE(image.isConstructed());
    EXPECT_EQ(image.getWidth(), 640);
    EXPECT_EQ(image.getHeight(), 240);
    EXPECT_EQ(image.getFileSize(), static_cast<int32_t>(jpeg.size()));
    const std::vector<uint8_t> expected = testPattern(640, 240);
    // Quality 95 at full chroma: every byte lands close to the source, and channel order is
    // red, green, blue (a swap would be off by up to 255).
    EXPECT_LE(maxDifference(image.getPixels(), expected.data(), expected.size()), 24)
        << "decoded pixels follow the source in RGB order";
    EXPECT_EQ(std::string(fixture.debug->getLastText()), "{OImage::OImage()}: Done.");
}

TEST(OImageDecoding, GreyPictureGivesEqualChannels) {
    std::vector<uint8_t> grey(640 * 240);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<uint8_t>((i % 640) * 255 / 639);
    PackFixture fixture({{path, encodeJpeg(grey.data(), 640, 240, 1, 90, false)}});
    OImage image(path, -1, -1);
    const uint8_t* p = image.getPixels();
    int unequal = 0;
    for (int i = 0; i < 640 * 240; ++i)
        if (p[3 * i] != p[3 * i + 1] || p[3 * i] != p[3 * i + 2]) ++unequal;
    EXPECT_EQ(unequal, 0) << "a grey JPEG gives red = green = blue";
    EXPECT_LE(maxDifference(p + 3 * 639, grey.data() + 639, 1), 8) << "the grey level is kept";
}

TEST(OImageDecoding, LargerPictureKeepsItsTopLeft) {
    const std::vector<uint8_t> big = testPattern(800, 300);
    PackFixture fixture({{path, encodeJpeg(big.data(), 800, 300, 3, 95, true)}});
    OImage image(path, -1, -1);
    EXPECT_EQ(image.getWidth(), 640);
    EXPECT_EQ(image.getHeight(), 240);
    std::vector<uint8_t> topLeft;
    for (int y = 0; y < 240; ++y)
        topLeft.insert(topLeft.end(), big.begin() + y * 800 * 3, big.begin() + (y * 800 + 640) * 3);
    EXPECT_LE(maxDifference(image.getPixels(), topLeft.data(), topLeft.size()), 24)
        << "the pixel block is the picture's top-left 640 x 240";
}

TEST(OImageDecoding, FoundByBaseNameAndWithoutCase) {
    PackFixture fixture({{"DATA/Dovari1.JPG", colourJpeg(640, 240)}});
    OImage image(path, -1, -1);
    EXPECT_TRUE(image.isConstructed()) << "the pack lookup folds case";
}

TEST(OImageBadInput, EveryBadPictureEndsInReadFileError) {
    const std::vector<uint8_t> good = colourJpeg(640, 240);
    expectReason(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2),
                 "libjpeg-turbo: Premature end of JPEG file", "truncated JPEG");
    expectReason(std::vector<uint8_t>(good.begin(), good.begin() + 300),
                 "libjpeg-turbo: Invalid JPEG file structure: missing SOS marker",
                 "JPEG cut inside its header");
    std::vector<uint8_t> noise(20000);
    uint32_t state = 12345;
    for (uint8_t& b : noise) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    EXPECT_EQ(expectReadFileError(noise, "random bytes").rfind("libjpeg-turbo: Not a JPEG file", 0),
              0u)
        << "libjpeg-turbo's own words";
    std::vector<uint8_t> noisyJpeg = noise;
    noisyJpeg[0] = 0xFF, noisyJpeg[1] = 0xD8, noisyJpeg[2] = 0xFF;
    EXPECT_EQ(expectReadFileError(noisyJpeg, "random bytes behind a JPEG start marker")
                  .rfind("libjpeg-turbo: ", 0),
              0u);
    expectReason({}, "no JPEG data (0 bytes)", "zero-length entry");
    expectReason({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'},
                 "libjpeg-turbo: Not a JPEG file: starts with 0x89 0x50", "PNG signature");
    std::vector<uint8_t> cmyk(640 * 240 * 4, 100);
    expectReason(encodeJpeg(cmyk.data(), 640, 240, 4, 90, false),
                 "4 colour components; only grey (1) and colour (3) pictures decode", "CMYK JPEG");
    expectReason(colourJpeg(320, 240),
                 "the picture is 320 x 240, smaller than the show's 640 x 240",
                 "picture narrower than 640");
    expectReason(colourJpeg(640, 120),
                 "the picture is 640 x 120, smaller than the show's 640 x 240",
                 "picture lower than 240");
}

TEST(OImageBadInput, DataCutShortBehindAnEndMarkerIsDamage) {
    // The decoder meets the end marker inside the scan and would pad the rest with grey.
    const std::vector<uint8_t> good = colourJpeg(640, 240);
    for (const size_t percent : {10, 50, 90}) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + good.size() * percent / 100);
        cut.push_back(0xFF);
        cut.push_back(0xD9);
        const std::string what = "first " + std::to_string(percent) + " % and an end marker";
        EXPECT_EQ(
            expectReadFileError(cut, what.c_str()).rfind("libjpeg-turbo: Corrupt JPEG data", 0), 0u)
            << what << ": the library's warning that meant damage is the reason";
    }
    // Junk in the entropy-coded data is corrupt data, not a picture.
    std::vector<uint8_t> junk = good;
    const size_t middle = good.size() / 2;
    junk[middle] = 0xFF, junk[middle + 1] = 0xD0 + 3; // a restart marker out of order
    EXPECT_EQ(expectReadFileError(junk, "a stray restart marker inside the scan")
                  .rfind("libjpeg-turbo: Corrupt JPEG data", 0),
              0u);
}

TEST(OImageDecoding, WarningsThatLoseNothingAreKept) {
    // An unknown JFIF major revision is reported by the library but changes no pixel.
    std::vector<uint8_t> jpeg = colourJpeg(640, 240);
    ASSERT_TRUE(jpeg[2] == 0xFF && jpeg[3] == 0xE0 && jpeg[6] == 'J' && jpeg[10] == 0)
        << "the test picture starts with a JFIF segment";
    const std::vector<uint8_t> original = jpeg;
    jpeg[11] = 3; // JFIF version 3.01
    JpegDecoder decoder;
    ASSERT_EQ(decoder.initialise(), 0);
    std::string warnings;
    decoder.setMessageSink([&](const std::string& text) { warnings += text + "\n"; });
    std::vector<uint8_t> expected(640 * 240 * 3), pixels(640 * 240 * 3);
    ASSERT_EQ(decoder.decode(original.data(), original.size(), expected.data(), 640, 240), 0);
    EXPECT_EQ(warnings, "") << "the unchanged picture raises no warning";
    EXPECT_EQ(decoder.decode(jpeg.data(), jpeg.size(), pixels.data(), 640, 240), 0)
        << "a JFIF revision warning is no damage";
    EXPECT_NE(warnings.find("unknown JFIF revision"), std::string::npos)
        << "the library did warn (" << warnings << ")";
    EXPECT_EQ(pixels, expected) << "the picture decodes to the same pixels";
    PackFixture fixture({{path, jpeg}});
    EXPECT_TRUE(OImage(path, -1, -1).isConstructed()) << "the picture loads";
}

TEST(OImageBadInput, GiganticHeaderFailsFastWithoutThePicture) {
    std::vector<uint8_t> jpeg = colourJpeg(640, 240);
    const size_t sof = frameHeaderAt(jpeg);
    ASSERT_NE(sof, 0u) << "the test picture has a frame header";
    jpeg[sof + 5] = 65000 >> 8, jpeg[sof + 6] = 65000 & 0xFF; // height
    jpeg[sof + 7] = 65000 >> 8, jpeg[sof + 8] = 65000 & 0xFF; // width
    struct rusage before {};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    expectReadFileError(jpeg, "a header claiming 65,000 x 65,000 pixels");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage after {};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(seconds, 2.0) << "the claimed size fails at once, not after decoding 4 gigapixels";
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024)
        << "the peak memory grows by less than 64 MiB: the 12.7 GB picture is never allocated";
}

TEST(OImageBadInput, CorruptScanDataNeverCrashes) {
    // Flip bytes inside the entropy-coded data: the decoder either fails cleanly or delivers a
    // picture; either way nothing reads out of bounds (the sanitizer build checks that).
    const std::vector<uint8_t> good = colourJpeg(640, 240);
    for (size_t at = good.size() / 4; at < good.size() - 2; at += good.size() / 7) {
        std::vector<uint8_t> bad = good;
        for (size_t i = at; i < std::min(bad.size() - 2, at + 64); ++i)
            bad[i] ^= 0x5A;
        PackFixture fixture({{path, bad}});
        try {
            OImage image(path, -1, -1);
            EXPECT_NE(image.getPixels(), nullptr);
        } catch (const Error& error) {
            EXPECT_EQ(error.text(), readFileText) << "corruption at byte " << at;
        }
    }
}

TEST(OImageBadInput, PictureMissingFromPackFailsWithItsPath) {
    PackFixture fixture({{"data/other.jpg", colourJpeg(640, 240)}});
    try {
        OImage image("data/rozerid12.jpg", -1, -1);
        ADD_FAILURE() << "a picture the pack does not hold cannot load";
    } catch (const Error& error) {
        EXPECT_EQ(error.text(), "Error - couldn't read file data/rozerid12.jpg! Aborting...")
            << "the text names the picture";
        EXPECT_EQ(error.reason(), "not in the pack " + fixture.packPath())
            << "the reason says the pack lacks it";
    }
}

TEST(OImageBadInput, AnEntryOutsideThePackSaysWhere) {
    const std::vector<uint8_t> jpeg = colourJpeg(640, 240);
    PackFixture fixture({{path, jpeg}});
    // The pack loses its last byte after parsing: the entry now reaches past its end.
    std::filesystem::resize_file(fixture.packPath(),
                                 std::filesystem::file_size(fixture.packPath()) - 1);
    try {
        OImage image(path, -1, -1);
        ADD_FAILURE() << "a picture cut by its pack cannot load";
    } catch (const Error& error) {
        EXPECT_NE(error.reason().find("reaches past the end of the pack"), std::string::npos)
            << error.reason();
    }
}

TEST(OImageBadInput, NoFileServerFailsLikeAMissingPicture) {
    setProcessFileServer(nullptr);
    try {
        OImage image(path, -1, -1);
        ADD_FAILURE() << "no FileServer, no picture";
    } catch (const Error& error) {
        EXPECT_EQ(error.explanation(), readFileText + ": no FileServer to load it from");
    }
}
