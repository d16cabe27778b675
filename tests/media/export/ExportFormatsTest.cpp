// The export's container table (what each file kind takes and what is refused) and the
// frames of a clip.
#include "media/ExportFormats.h"
#include "app/ShowClock.h"
#include "media/AviCodecChooser.h"
#include "media/ExportClip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

bool offers(const ExportContainer& container, const std::string& codec) {
    const std::vector<std::string> codecs = codecsForContainer(container);
    return std::find(codecs.begin(), codecs.end(), codec) != codecs.end();
}

const ExportContainer& containerOf(const std::string& name) {
    std::string error;
    const ExportContainer* container = containerForName(name, error);
    EXPECT_NE(container, nullptr) << name << " is a container of the export: " << error;
    static const ExportContainer none{};
    return container != nullptr ? *container : none;
}

} // namespace

TEST(ExportContainers, ExtensionsPickTheirContainerInAnyCase) {
    EXPECT_EQ(containerOf("_.avi").muxer, "avi") << ".avi";
    EXPECT_EQ(containerOf("dir/a.MKV").muxer, "matroska") << ".mkv, capitals";
    EXPECT_EQ(containerOf("a.mp4").muxer, "mp4") << ".mp4";
    EXPECT_EQ(containerOf("a.mov").muxer, "mov") << ".mov";
    EXPECT_EQ(containerOf("a.webm").muxer, "webm") << ".webm";
    EXPECT_EQ(containerOf("a.nut").muxer, "nut") << ".nut";
    EXPECT_EQ(containerOf("-").muxer, "nut") << "standard output gets NUT";

    for (const char* bad : {"a.xyz", "a.ts", "noextension", "dir.mp4/file", "a."}) {
        std::string error;
        EXPECT_EQ(containerForName(bad, error), nullptr) << bad << " is no container on offer";
        EXPECT_NE(error.find(".avi .mkv .mp4 .mov .webm .nut"), std::string::npos)
            << bad << ": the message lists what is on offer: " << error;
    }
}

TEST(ExportContainers, EachContainerOffersOnlyWhatItCanHold) {
    const ExportContainer& avi = containerOf("a.avi");
    for (const char* codec : {"raw", "ffv1", "utvideo", "huffyuv", "mjpeg"})
        EXPECT_TRUE(offers(avi, codec)) << ".avi offers " << codec;
    for (const char* codec : {"utvideo", "ffv1", "huffyuv"})
        EXPECT_TRUE(offers(containerOf("a.mkv"), codec)) << ".mkv offers " << codec;
    for (const char* name : {"a.avi", "a.mkv"})
        EXPECT_EQ(codecsForContainer(containerOf(name)).front(), "utvideo")
            << name << ": the fastest lossless codec comes first, as the default";
    EXPECT_FALSE(offers(containerOf("a.mkv"), "raw")) << ".mkv does not offer raw";
    EXPECT_FALSE(offers(containerOf("a.mp4"), "raw")) << ".mp4 does not offer raw";
    EXPECT_FALSE(offers(containerOf("a.mp4"), "ffv1")) << ".mp4 does not offer ffv1";
    EXPECT_EQ(codecsForContainer(containerOf("a.nut")), std::vector<std::string>{"raw"})
        << ".nut holds raw frames only";
    for (const ExportContainer& container : exportContainers()) {
        EXPECT_TRUE(offers(container, container.defaultCodec) || container.defaultCodec == "h264" ||
                    container.defaultCodec == "vp9")
            << container.extension << ": the default is on offer (lossy ones where installed)";
        for (const AviCodec& codec : availableCodecsFor(container))
            EXPECT_EQ(checkCodecForContainer(codec.name, container), "")
                << container.extension << " takes what its chooser offers: " << codec.name;
    }
}

TEST(ExportContainers, RefusedCodecsAreExplainedWithWhatIsOnOffer) {
    const std::string raw = checkCodecForContainer("raw", containerOf("a.mp4"));
    EXPECT_NE(raw.find("cannot hold 'raw'"), std::string::npos) << "says what is wrong: " << raw;
    EXPECT_NE(raw.find("codec= takes one of:"), std::string::npos) << "lists the others: " << raw;
    const std::string unknown = checkCodecForContainer("divx", containerOf("a.mkv"));
    EXPECT_NE(unknown.find("Unknown video codec 'divx'"), std::string::npos)
        << "an unknown name is called unknown: " << unknown;
    EXPECT_NE(unknown.find("ffv1"), std::string::npos) << "and the names on offer follow";
}

TEST(ExportContainers, SharingContainersGetLossySoundAtFortyEightKilohertzAndScaleTwo) {
    const ExportContainer& mp4 = containerOf("a.mp4");
    EXPECT_EQ(mp4.soundEncoder, "aac") << ".mp4: AAC";
    EXPECT_EQ(mp4.soundRate, 48000) << ".mp4: 48 kHz";
    EXPECT_EQ(mp4.soundBitRate, 320000) << ".mp4: 320 kb/s";
    EXPECT_EQ(mp4.defaultScale, 2) << ".mp4: enlarged twice";
    EXPECT_EQ(containerOf("a.webm").soundEncoder, "libopus") << ".webm: Opus";
    EXPECT_EQ(containerOf("a.webm").soundBitRate, 256000) << ".webm: 256 kb/s";
    EXPECT_EQ(containerOf("a.mkv").soundEncoder, "flac") << ".mkv: FLAC";
    EXPECT_EQ(containerOf("a.mkv").soundRate, 44100) << ".mkv: the soundtrack's own rate";
    EXPECT_EQ(containerOf("a.mkv").defaultScale, 1) << ".mkv: pixels as they are";
    EXPECT_EQ(containerOf("a.avi").soundEncoder, "pcm_s16le") << ".avi: PCM as always";
}

TEST(ExportClip, FrameTicksAreThoseOfTheReferenceShow) {
    std::ifstream digests(DEMO_REFERENCE_DIR "/frames.md5");
    if (!digests.good()) GTEST_SKIP() << "no reference digests beside the checkout";
    long index = 0, ticks = 0, count = 0, mismatches = 0;
    std::string md5;
    while (digests >> index >> ticks >> md5) {
        mismatches += videoFrameTicks(index) != ticks;
        ++count;
    }
    EXPECT_EQ(count, 27902) << "the reference show has 27,902 frames";
    EXPECT_EQ(mismatches, 0) << "every frame's ticks equal the reference's tick column";
    EXPECT_EQ(exportClip(-1, -1).frameCount, count) << "without end= the whole show is exported";
}

TEST(ExportClip, StartAndEndPickTheFramesOfTheClip) {
    EXPECT_EQ(exportClip(-1, 120).frameCount, 54) << "end=120: the frames drawn before tick 120";
    EXPECT_NE(exportClip(-1, 0).problem.find("end=0 leaves no frame"), std::string::npos)
        << "end=0: no frame at all, refused";
    EXPECT_NE(exportClip(0, 0).problem, "") << "start=0 end=0: refused as well";
    EXPECT_EQ(exportClip(-1, 99999).frameCount, 27902) << "end= past the show: the whole show";
    const ExportClip clip = exportClip(41000, 47000);
    EXPECT_EQ(clip.problem, "") << "a clip inside the show";
    EXPECT_GE(videoFrameTicks(clip.firstFrame), 41000) << "its first frame reaches start=";
    EXPECT_LT(videoFrameTicks(clip.firstFrame - 1), 41000) << "the frame before does not";
    EXPECT_EQ(exportClip(0, -1).firstFrame, 0) << "start=0 is the show's first frame";
    EXPECT_NE(exportClip(500, 400).problem.find("not before end=400"), std::string::npos)
        << "start= after end= is refused";
    EXPECT_NE(exportClip(500, 500).problem, "") << "an empty clip is refused";
    EXPECT_NE(exportClip(63900, -1).problem.find("past the show's end"), std::string::npos)
        << "start= at the show's end is refused";
}
