// The copy of the current line's capabilities: numeric fields at their published
// offsets, the three text fields through the ANSI conversion with every byte kept, and
// text fields whose offset or size is hostile (nothing may be read outside the buffer;
// run under AddressSanitizer).
#include "LineTestSupport.h"

#include <gmock/gmock.h>

#include <string>

using linetest::LineTest;
using namespace std::string_literals;

namespace {

constexpr std::size_t kLineName = offsetof(LINEDEVCAPS, dwLineNameSize);
constexpr std::size_t kProviderInfo = offsetof(LINEDEVCAPS, dwProviderInfoSize);
constexpr std::size_t kSwitchInfo = offsetof(LINEDEVCAPS, dwSwitchInfoSize);
constexpr DWORD kBuffer = mTAPIDecs::kDevCapsBufferSize;

} // namespace

TEST_F(LineTest, CapabilitiesAreCopiedFromTheirOffsets) {
    auto& caps = fake->devices[0].devCaps;
    // Distinct values, so that a field read from its neighbour's offset shows.
    caps.set(28, 0x1001).set(40, 0x1002).set(44, 0x1003).set(48, 0x1004).set(52, 0x1005);
    caps.set(56, 0x1006).set(60, 0x1007).set(64, 0x1008).set(68, 0x1009).set(204, 0x100A);
    caps.text(kLineName, 400, "Modem\0"s).text(kProviderInfo, 500, "Prov").text(kSwitchInfo, 600, "Sw");
    ASSERT_TRUE(line->Create());

    ASSERT_EQ(fake->devCapsCalls.size(), 1u);
    EXPECT_EQ(fake->devCapsCalls[0].totalSize, 2301u);
    EXPECT_EQ(fake->devCapsCalls[0].extVersion, 0u);
    EXPECT_EQ(fake->devCapsCalls[0].apiVersion, fake->devices[0].apiVersion);
    EXPECT_EQ(line->PermanentLineID(), 0x1001u);
    EXPECT_EQ(line->StringFormat(), 0x1002u);
    EXPECT_EQ(line->AddressModes(), 0x1003u);
    EXPECT_EQ(line->numAddresses(), 0x1004u);
    EXPECT_EQ(line->BearerModes(), 0x1005u);
    EXPECT_EQ(line->maxDataRate(), 0x1006u);
    EXPECT_EQ(line->mediamodes(), 0x1007u);
    EXPECT_EQ(line->GenerateToneModes(), 0x1008u);
    EXPECT_EQ(line->GenerateToneMaxNumFreq(), 0x1009u);
    EXPECT_EQ(line->numTerminals(), 0x100Au);
    EXPECT_EQ(line->LineName(), "Modem\0"s) << "a counted terminating NUL stays";
    EXPECT_EQ(line->LineName().size(), 6u);
    EXPECT_EQ(line->ProviderInfo(), "Prov");
    EXPECT_EQ(line->SwitchInfo(), "Sw");
}

TEST_F(LineTest, CapabilityTextsAreConvertedFromAnsi) {
    fake->devices[0].devCaps.text(kLineName, 300, "Z\xFCrich \x80 a\0b"s);
    ASSERT_TRUE(line->Create());
    EXPECT_EQ(line->LineName(), "Zürich € a\0b"s);
}

TEST_F(LineTest, CapabilitiesChangeOnlyOnASuccessfulFetch) {
    fake->devices.resize(2);
    fake->devices[0].devCaps.set(60, LINEMEDIAMODE_INTERACTIVEVOICE).text(kLineName, 300, "First");
    fake->devices[1].devCaps.set(60, LINEMEDIAMODE_DATAMODEM).text(kLineName, 300, "Second");
    ASSERT_TRUE(line->Create());
    line->setCurrentLineID(1);
    EXPECT_EQ(line->LineName(), "Second");
    EXPECT_EQ(line->mediamodes(), LINEMEDIAMODE_DATAMODEM);

    fake->devices[0].devCapsResult = LINEERR_NODEVICE;
    line->setCurrentLineID(0);
    EXPECT_EQ(line->CurrentLineID(), 0u) << "the line changes even when its fetch fails";
    EXPECT_EQ(line->LastError(), LINEERR_NODEVICE);
    EXPECT_EQ(line->LineName(), "Second");
    EXPECT_EQ(line->mediamodes(), LINEMEDIAMODE_DATAMODEM);
}

TEST_F(LineTest, OnlyOneFetchWhateverTheDeviceNeeds) {
    fake->devices[0].devCaps.set(offsetof(LINEDEVCAPS, dwNeededSize), 9000);
    ASSERT_TRUE(line->Create());
    EXPECT_EQ(fake->count("lineGetDevCapsA"), 1u);
}

struct TextFieldCase {
    const char* name;
    DWORD offset;
    DWORD declaredSize;
    std::string expected;
};

class CapsTextField : public LineTest, public ::testing::WithParamInterface<TextFieldCase> {};

TEST_P(CapsTextField, YieldsOnlyBytesInsideTheBuffer) {
    const auto& c = GetParam();
    auto& caps = fake->devices[0].devCaps;
    caps.text(kLineName, 300, "ABCDEF"); // text at a sane place, for fields that point there
    caps.text(kLineName, 2296, "vwxyz"); // the last five bytes of the buffer
    caps.set(kLineName, c.declaredSize).set(kLineName + 4, c.offset);
    ASSERT_TRUE(line->Create());
    EXPECT_EQ(line->LineName(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Hostile, CapsTextField,
                         ::testing::Values(TextFieldCase{"SizeZero", 300, 0, ""},
                                           TextFieldCase{"OffsetZero", 0, 6, ""},
                                           TextFieldCase{"NegativeSize", 300, 0xFFFFFFFF, ""},
                                           TextFieldCase{"SizeWithSignBit", 300, 0x80000000, ""},
                                           TextFieldCase{"Ordinary", 300, 6, "ABCDEF"},
                                           TextFieldCase{"Partial", 300, 3, "ABC"},
                                           TextFieldCase{"EndsAtBufferEnd", 2296, 5, "vwxyz"},
                                           TextFieldCase{"ReachesPastEnd", 2296, 50, "vwxyz"},
                                           TextFieldCase{"HugeSize", 2296, 0x7FFFFFFF, "vwxyz"},
                                           TextFieldCase{"LastByteOnly", 2300, 4, "z"},
                                           TextFieldCase{"StartsAtEnd", kBuffer, 1, ""},
                                           TextFieldCase{"StartsFarOutside", 0xFFFFFFF0, 0x20, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

struct VoiceCase {
    const char* name;
    DWORD bearerModes;
    DWORD mediaModes;
    bool voice;
};

class VoiceCheck : public LineTest, public ::testing::WithParamInterface<VoiceCase> {};

TEST_P(VoiceCheck, NeedsTheVoiceBearerAndInteractiveVoice) {
    const auto& c = GetParam();
    fake->devices[0].devCaps.set(52, c.bearerModes).set(60, c.mediaModes);
    ASSERT_TRUE(line->Create());
    EXPECT_EQ(line->LineSupportsVoiceCalls(), c.voice);
}

INSTANTIATE_TEST_SUITE_P(
    Bits, VoiceCheck,
    ::testing::Values(
        VoiceCase{"Both", LINEBEARERMODE_VOICE, LINEMEDIAMODE_INTERACTIVEVOICE, true},
        VoiceCase{"BothAmongOthers", LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA,
                  LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, true},
        VoiceCase{"NoVoiceBearer", LINEBEARERMODE_SPEECH, LINEMEDIAMODE_INTERACTIVEVOICE, false},
        VoiceCase{"NoInteractiveVoice", LINEBEARERMODE_VOICE, LINEMEDIAMODE_AUTOMATEDVOICE, false},
        VoiceCase{"Neither", 0, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });
