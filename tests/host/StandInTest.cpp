// The pieces every program that plays the host shares: texts into the plug-in's buffers, the FMR
// header record, the lenient parameter store, and loading a plug-in library.
#include "FmrHeaderRecord.h"
#include "HostTextBuffer.h"
#include "LenientParameters.h"
#include "PluginLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace halvorn_host {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(HostTextBuffer, ATextIsCutToTheBufferAndTerminated) {
    const std::vector<std::size_t> lengths = {0,
                                              1,
                                              kHostTextBufferSize - 2,
                                              kHostTextBufferSize - 1,
                                              kHostTextBufferSize,
                                              kHostTextBufferSize + 100};
    for (const std::size_t length : lengths) {
        std::vector<char> buffer(kHostTextBufferSize + 1, '#');
        const std::string text(length, 'a');
        copyToHostTextBuffer(text, buffer.data());
        const std::size_t kept = std::min(length, kHostTextBufferSize - 1);
        EXPECT_EQ(std::string(buffer.data()), text.substr(0, kept)) << length;
        EXPECT_EQ(buffer[kHostTextBufferSize], '#') << "a byte past the buffer, at " << length;
    }
}

TEST(FmrHeaderRecord, HoldsThePathAndTheGridWithEveryOtherByteZero) {
    const FmrGrid grid{10, 4, 5, 2, 3.0F, 3.5F, 4.0F};
    const FmrDocumentHeader header = fmrHeaderRecord("run.fmr", grid);
    EXPECT_STREQ(header.fmrPath, "run.fmr");
    EXPECT_EQ(header.nrOfVolumes, 10);
    EXPECT_EQ(header.dimX, 4);
    EXPECT_EQ(header.dimY, 5);
    EXPECT_EQ(header.dimZ, 2);
    EXPECT_EQ(header.voxelSizeX, 3.0F);
    EXPECT_EQ(header.voxelSizeY, 3.5F);
    EXPECT_EQ(header.voxelSizeZ, 4.0F);
    for (std::size_t i = std::strlen("run.fmr"); i < sizeof header.fmrPath; ++i) {
        EXPECT_EQ(header.fmrPath[i], '\0') << "path byte " << i;
    }
    for (const unsigned char byte : header.hostOnly) {
        EXPECT_EQ(byte, 0);
    }
}

TEST(FmrHeaderRecord, TakesThePathThatFillsTheFieldAndRefusesALongerOneByName) {
    const std::string longest(kLongestFmrPath, 'p');
    EXPECT_EQ(std::string(fmrHeaderRecord(longest, {}).fmrPath), longest);

    const std::string tooLong = longest + "q";
    EXPECT_THAT([&] { fmrHeaderRecord(tooLong, {}); },
                ThrowsMessage<std::runtime_error>(
                    AllOf(HasSubstr(tooLong), HasSubstr("longer than 303 bytes"))));
}

TEST(LenientParameters, AnUnsetNameIsEmptyAndATextReadsAsTheNumberItBeginsWith) {
    const ParameterTexts parameters = {
        {"count", "12"}, {"word", "yes"}, {"half", "0.5"}, {"tail", "7 volumes"}, {"empty", ""}};
    EXPECT_EQ(parameterText(parameters, "word"), "yes");
    EXPECT_EQ(parameterText(parameters, "unset"), "");

    const std::vector<std::pair<const char*, int>> integers = {
        {"count", 12}, {"word", 0}, {"half", 0}, {"tail", 7}, {"empty", 0}, {"unset", 0}};
    for (const auto& [name, expected] : integers) {
        EXPECT_EQ(parameterNumber<int>(parameters, name), expected) << name;
    }
    EXPECT_EQ(parameterNumber<float>(parameters, "half"), 0.5F);
    EXPECT_EQ(parameterNumber<float>(parameters, "word"), 0.0F);
}

TEST(PluginLibrary, ALibraryThatCannotBeLoadedIsNamed) {
    EXPECT_THAT([] { const PluginLibrary library("no-such-folder/Quelmar.so"); },
                ThrowsMessage<std::runtime_error>(
                    HasSubstr("cannot load the plug-in no-such-folder/Quelmar.so")));
}

} // namespace
} // namespace halvorn_host
