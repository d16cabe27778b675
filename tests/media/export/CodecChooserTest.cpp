// The codec chooser: the codec= word and the numbered prompt.
#include "media/AviCodecChooser.h"
#include "media/ExportFormats.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(CodecChooser, CodecWordPicksWithoutAskingWhenTheContainerHoldsIt) {
    std::string error;
    const ExportContainer& avi = *containerForName("a.avi", error);
    const AviCodecChoice ffv1 = chooseCodecFor(avi, "ffv1");
    EXPECT_EQ(ffv1.outcome, AviCodecChoice::Chosen) << "codec=ffv1 is chosen for .avi";
    EXPECT_EQ(ffv1.name, "ffv1") << "and it is ffv1";
    const AviCodecChoice divx = chooseCodecFor(avi, "divx");
    EXPECT_EQ(divx.outcome, AviCodecChoice::Unknown) << "a name of no codec is unknown";
    EXPECT_EQ(divx.name, "divx") << "and named for the refusal";
    EXPECT_EQ(chooseCodecFor(*containerForName("a.mp4", error), "utvideo").outcome,
              AviCodecChoice::Unknown)
        << "a codec the container cannot hold is not chosen";
    EXPECT_EQ(chooseCodecFor(*containerForName("a.nut", error), "").name, "raw")
        << "without a word, a container of one codec asks nothing";
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
