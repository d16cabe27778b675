// The codec chooser: the command-line word and the numbered prompt.
#include "media/AviCodecChooser.h"
#include "media/ExportFormats.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(CodecChooser, CodecWordIsFoundInAnyCaseAndEndsAtABlank) {
    EXPECT_EQ(codecWordOf("video CODEC=FFV1 noaudio"), "ffv1") << "capitals do not matter";
    EXPECT_EQ(codecWordOf("video codec=h264"), "h264") << "the word may end the text";
    EXPECT_EQ(codecWordOf("video noaudio"), "") << "no word, no name";
    EXPECT_EQ(codecWordOf("codec="), "") << "an empty name is no name";
}

TEST(CodecChooser, OffersTheDefaultAndTheLosslessCodecs) {
    std::vector<std::string> names;
    for (const AviCodec& codec : availableAviCodecs())
        names.push_back(codec.name);
    for (const char* name : {"raw", "ffv1", "utvideo", "huffyuv", "mjpeg"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name << " offered";
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), exportContainers().front().defaultCodec)
        << "the default of .avi is offered first";
}

TEST(CodecChooser, NumberedPromptTakesNumbersNamesDefaultAndCancel) {
    const std::vector<AviCodec> codecs = {{"raw", "r"}, {"ffv1", "f"}, {"mjpeg", "m"}};
    auto ask = [&codecs](const std::string& answers, std::string* said = nullptr) {
        std::istringstream in(answers);
        std::ostringstream out;
        const size_t index = askCodecByNumber(in, out, codecs, 1);
        if (said != nullptr) *said = out.str();
        return index;
    };
    EXPECT_EQ(ask("3\n"), 2u) << "a number picks that codec";
    EXPECT_EQ(ask("\n"), 1u) << "an empty answer takes the default";
    EXPECT_EQ(ask(" MJPEG \n"), 2u) << "a name picks that codec";
    EXPECT_EQ(ask("0\n"), 3u) << "0 is Cancel";
    EXPECT_EQ(ask(""), 3u) << "end of input is Cancel";
    std::string said;
    EXPECT_EQ(ask("9\nabc\n1\n", &said), 0u) << "invalid answers are asked again";
    EXPECT_NE(said.find("Please answer"), std::string::npos) << "and explained";
    EXPECT_NE(said.find("0) Cancel"), std::string::npos) << "the prompt offers Cancel";
}
