// The current line's capabilities (hostile text fields run under AddressSanitizer), its dialogs and icon.
#include "tests/support/LineTestSupport.h"

using namespace linetest;
using namespace std::string_literals;

namespace {

template <typename Handle> Handle H(std::uintptr_t v) {
    return reinterpret_cast<Handle>(v);
}

class DialogTest : public LineTest {
  protected:
    DialogTest() {
        fake->devices.resize(3);
        fake->devices[0].apiVersion = 0x00010004;
        fake->devices[1].apiVersion = 0x00020002;
        EXPECT_TRUE(line->Create());
        line->setCurrentLineID(2);
        fake->clearRecords();
    }
};

} // namespace

// Numeric fields at their published offsets, text fields from ANSI with every byte kept.
TEST_F(LineTest, CapabilitiesAreCopiedFromTheirOffsetsInOneFetch) {
    const std::size_t offsets[] = {28, 40, 44, 48, 52, 56, 60, 64, 68, 204};
    auto& caps = fake->devices[0].devCaps;
    for (std::size_t offset : offsets)
        caps.set(offset, 0x1000 + static_cast<DWORD>(offset)); // distinct, so a neighbour's offset shows
    caps.set(offsetof(LINEDEVCAPS, dwNeededSize), 9000);       // more than the buffer: still one fetch
    caps.text(kLineName, 400, "Z\xFCrich \x80 a\0b\0"s);
    caps.text(offsetof(LINEDEVCAPS, dwProviderInfoSize), 500, "Prov");
    caps.text(offsetof(LINEDEVCAPS, dwSwitchInfoSize), 600, "Sw");
    ASSERT_TRUE(line->Create());
    ASSERT_EQ(fake->devCapsCalls.size(), 1u);
    const auto& fetch = fake->devCapsCalls[0];
    EXPECT_EQ(std::tie(fetch.totalSize, fetch.extVersion, fetch.apiVersion),
              std::make_tuple(2301u, 0u, 0x00020000u));
    const DWORD copied[] = {
        line->PermanentLineID(), line->StringFormat(),      line->AddressModes(),
        line->numAddresses(),    line->BearerModes(),       line->maxDataRate(),
        line->mediamodes(),      line->GenerateToneModes(), line->GenerateToneMaxNumFreq(),
        line->numTerminals()};
    for (std::size_t i = 0; i < std::size(offsets); ++i)
        EXPECT_EQ(copied[i], 0x1000 + offsets[i]) << "offset " << offsets[i];
    EXPECT_EQ(std::make_tuple(line->LineName(), line->ProviderInfo(), line->SwitchInfo()),
              std::make_tuple("Zürich € a\0b\0"s, "Prov", "Sw"));
}

TEST_F(LineTest, FailedCapabilityFetchStillLetsCreateSucceed) {
    fake->devices[0].devCapsResult = LINEERR_OPERATIONFAILED;
    fake->devices[0].devCaps.text(kLineName, 300, "Garbage");
    EXPECT_TRUE(line->Create());
    EXPECT_EQ(line->LastError(), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(line->LineName(), "") << "a failed fetch's buffer is not taken for capabilities";
}

TEST_F(LineTest, CapsTextFieldYieldsOnlyBytesInsideTheBuffer) {
    const struct {
        const char* name;
        DWORD offset, declaredSize;
        std::string expected;
    } cases[] = {
        {"SizeZero", 300, 0, ""},
        {"OffsetZero", 0, 6, ""},
        {"NegativeSize", 300, 0xFFFFFFFF, ""},
        {"SizeWithSignBit", 300, 0x80000000, ""},
        {"Ordinary", 300, 6, "ABCDEF"},
        {"Partial", 300, 3, "ABC"},
        {"EndsAtBufferEnd", 2296, 5, "vwxyz"},
        {"ReachesPastEnd", 2296, 50, "vwxyz"},
        {"HugeSize", 2296, 0x7FFFFFFF, "vwxyz"},
        {"LastByteOnly", 2300, 4, "z"},
        {"StartsAtEnd", mTAPIDecs::kDevCapsBufferSize, 1, ""},
        {"StartsFarOutside", 0xFFFFFFF0, 0x20, ""},
    };
    auto& caps = fake->devices[0].devCaps;
    caps.text(kLineName, 300, "ABCDEF").text(kLineName, 2296, "vwxyz"); // the buffer's last five bytes
    ASSERT_TRUE(line->Create());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        caps.set(kLineName, c.declaredSize).set(kLineName + 4, c.offset);
        line->setCurrentLineID(0);
        EXPECT_EQ(line->LineName(), c.expected);
    }
}

TEST_F(LineTest, VoiceCheckNeedsTheVoiceBearerAndInteractiveVoice) {
    const struct {
        const char* name;
        DWORD bearerModes, mediaModes;
        bool voice;
    } cases[] = {
        {"Both", LINEBEARERMODE_VOICE, LINEMEDIAMODE_INTERACTIVEVOICE, true},
        {"BothAmongOthers", LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA,
         LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, true},
        {"NoVoiceBearer", LINEBEARERMODE_SPEECH, LINEMEDIAMODE_INTERACTIVEVOICE, false},
        {"NoInteractiveVoice", LINEBEARERMODE_VOICE, LINEMEDIAMODE_AUTOMATEDVOICE, false},
    };
    ASSERT_TRUE(line->Create());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake->devices[0].devCaps.set(52, c.bearerModes).set(60, c.mediaModes);
        line->setCurrentLineID(0);
        EXPECT_EQ(line->LineSupportsVoiceCalls(), c.voice);
    }
}

// OpenLine and the dialogs act on the current line; texts go in ANSI, empty ones as null.
TEST_F(DialogTest, OpenLineAndDialogsUseTheCurrentLine) {
    ASSERT_TRUE(line->OpenLine(LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_DATAMODEM));
    const auto& open = fake->openCalls.at(0);
    EXPECT_EQ(std::tie(open.lineApp, open.deviceID, open.apiVersion, open.extVersion, open.mediaModes),
              std::make_tuple(fake->lineAppHandle, 2u, 0x00020000u, 0u, DWORD{LINEMEDIAMODE_DATAMODEM}));
    EXPECT_EQ(open.instance, reinterpret_cast<DWORD_PTR>(line.get()));
    EXPECT_EQ(line.use_count(), 1) << "the registered instance holds no reference";

    EXPECT_TRUE(line->ConfigDialog());
    EXPECT_TRUE(line->ConfigDialog(H<HWND>(0x55), "tapi/line é"));
    EXPECT_TRUE(line->DialingPropertiesDialog());
    EXPECT_TRUE(line->DialingPropertiesDialog(H<HWND>(0x77), "0049 30 €"));
    const auto dialog = [](const testsupport::FakeTapi::DeviceCall& c) {
        return std::tie(c.lineApp, c.deviceID, c.apiVersion, c.owner, c.text);
    };
    const auto& config = fake->configDialogCalls;
    const auto& translate = fake->translateDialogCalls; // at the highest negotiated version
    ASSERT_EQ(std::make_pair(config.size(), translate.size()),
              std::make_pair(std::size_t{2}, std::size_t{2}));
    EXPECT_EQ(dialog(config[0]), std::make_tuple(0u, 2u, 0u, nullptr, std::nullopt));
    EXPECT_EQ(dialog(config[1]), std::make_tuple(0u, 2u, 0u, H<HWND>(0x55), "tapi/line \xE9"));
    EXPECT_EQ(dialog(translate[0]),
              std::make_tuple(fake->lineAppHandle, 2u, 0x00020002u, nullptr, std::nullopt));
    EXPECT_EQ(dialog(translate[1]),
              std::make_tuple(fake->lineAppHandle, 2u, 0x00020002u, H<HWND>(0x77), "0049 30 \x80"));
    EXPECT_EQ(line->LastError(), 0);
}

TEST_F(DialogTest, PaintDevIconDrawsAndDestroysTheIconOnceOrDrawsNothing) {
    EXPECT_TRUE(line->PaintDevIcon(H<HDC>(0x99))); // 0 draws at the icon's own size
    EXPECT_TRUE(line->PaintDevIcon(H<HDC>(0x98), 10, -20, 48, 32));
    EXPECT_THAT(fake->log, ElementsAre("lineGetIconA", "DrawIconEx", "DestroyIcon", "lineGetIconA",
                                       "DrawIconEx", "DestroyIcon"));
    EXPECT_EQ(std::tie(fake->getIconCalls[0].deviceID, fake->getIconCalls[0].text),
              std::make_tuple(2u, std::nullopt));
    ASSERT_EQ(fake->drawIconCalls.size(), 2u);
    const auto drawn = [](const testsupport::FakeTapi::DrawIconCall& d) {
        return std::tie(d.hdc, d.icon, d.left, d.top, d.width, d.height, d.step, d.brush, d.flags);
    };
    EXPECT_EQ(drawn(fake->drawIconCalls[0]),
              std::make_tuple(H<HDC>(0x99), fake->icon, 0, 0, 0, 0, 0u, nullptr, UINT{DI_NORMAL}));
    EXPECT_EQ(drawn(fake->drawIconCalls[1]),
              std::make_tuple(H<HDC>(0x98), fake->icon, 10, -20, 48, 32, 0u, nullptr, UINT{DI_NORMAL}));
    EXPECT_THAT(fake->destroyIconCalls, ElementsAre(fake->icon, fake->icon));

    // Nothing is drawn when no icon comes, whether the request fails or yields none.
    for (const auto& [result, icon] :
         {std::pair<LONG, HICON>{LONG(LINEERR_BADDEVICEID), fake->icon}, {0, nullptr}}) {
        SCOPED_TRACE(result);
        fake->clearRecords();
        fake->getIconResult = result;
        fake->icon = icon;
        EXPECT_FALSE(line->PaintDevIcon(H<HDC>(0x99)));
        EXPECT_THAT(fake->log, ElementsAre("lineGetIconA"));
        EXPECT_EQ(line->LastError(), result);
    }
}
