// The current line's capabilities (numeric fields at their published offsets, text fields
// converted from ANSI with every byte kept, hostile text fields: nothing may be read outside
// the buffer, run under AddressSanitizer), its configuration dialogs and its icon.
#include "LineTestSupport.h"

using namespace linetest;
using namespace std::string_literals;

namespace {

constexpr std::size_t kLineName = offsetof(LINEDEVCAPS, dwLineNameSize);

template <typename Handle> Handle H(std::uintptr_t v) {
    return reinterpret_cast<Handle>(v);
}

class DialogTest : public LineTest {
  protected:
    DialogTest() : LineTest(3) {
        fake->devices[0].apiVersion = 0x00010004;
        fake->devices[1].apiVersion = 0x00020002;
        EXPECT_TRUE(line->Create());
        line->setCurrentLineID(2);
        fake->clearRecords();
    }
};

} // namespace

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
    EXPECT_EQ(line->LineName(), "Zürich € a\0b\0"s) << "converted from ANSI, every NUL kept";
    EXPECT_EQ(line->ProviderInfo(), "Prov");
    EXPECT_EQ(line->SwitchInfo(), "Sw");
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
        {"Neither", 0, 0, false},
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
    EXPECT_EQ(line->state().hLine, fake->lineHandle);
    EXPECT_EQ(line.use_count(), 1) << "the registered instance holds no reference";

    EXPECT_TRUE(line->ConfigDialog());
    EXPECT_TRUE(line->ConfigDialog(H<HWND>(0x55), "tapi/line é"));
    EXPECT_TRUE(line->DialingPropertiesDialog());
    EXPECT_TRUE(line->DialingPropertiesDialog(H<HWND>(0x77), "0049 30 €"));
    const auto& config = fake->configDialogCalls;
    ASSERT_EQ(config.size(), 2u);
    EXPECT_EQ(std::tie(config[0].deviceID, config[0].owner, config[0].text),
              std::make_tuple(2u, nullptr, std::nullopt));
    EXPECT_EQ(std::tie(config[1].owner, config[1].text), std::make_tuple(H<HWND>(0x55), "tapi/line \xE9"));
    const auto& translate = fake->translateDialogCalls;
    ASSERT_EQ(translate.size(), 2u);
    EXPECT_EQ(std::tie(translate[0].lineApp, translate[0].deviceID, translate[0].owner, translate[0].text),
              std::make_tuple(fake->lineAppHandle, 2u, nullptr, std::nullopt));
    EXPECT_EQ(translate[0].apiVersion, 0x00020002u) << "the highest negotiated, not the current line's";
    EXPECT_EQ(std::tie(translate[1].owner, translate[1].text),
              std::make_tuple(H<HWND>(0x77), "0049 30 \x80"));
    EXPECT_EQ(line->LastError(), 0);
}

TEST_F(DialogTest, PaintDevIconDrawsAndDestroysTheIconOnceOrDrawsNothing) {
    EXPECT_TRUE(line->PaintDevIcon(H<HDC>(0x99)));
    EXPECT_TRUE(line->PaintDevIcon(H<HDC>(0x98), 10, -20, 48, 32));
    EXPECT_THAT(fake->log, ElementsAre("lineGetIconA", "DrawIconEx", "DestroyIcon", "lineGetIconA",
                                       "DrawIconEx", "DestroyIcon"));
    EXPECT_EQ(std::tie(fake->getIconCalls[0].deviceID, fake->getIconCalls[0].text),
              std::make_tuple(2u, std::nullopt));
    ASSERT_EQ(fake->drawIconCalls.size(), 2u);
    const auto& own = fake->drawIconCalls[0];
    const auto& placed = fake->drawIconCalls[1];
    EXPECT_EQ(std::tie(own.hdc, own.left, own.top, own.width, own.height),
              std::make_tuple(H<HDC>(0x99), 0, 0, 0, 0))
        << "0 draws at the icon's own size";
    EXPECT_EQ(std::tie(placed.hdc, placed.left, placed.top, placed.width, placed.height),
              std::make_tuple(H<HDC>(0x98), 10, -20, 48, 32));
    EXPECT_EQ(std::tie(own.icon, own.step, own.brush, own.flags),
              std::make_tuple(fake->icon, 0u, nullptr, UINT{DI_NORMAL}));
    EXPECT_THAT(fake->destroyIconCalls, ElementsAre(fake->icon, fake->icon));

    // Nothing is drawn when no icon comes, whether the request fails or yields none.
    for (const auto& [result, icon] :
         {std::pair<LONG, HICON>{static_cast<LONG>(LINEERR_BADDEVICEID), fake->icon}, {0, nullptr}}) {
        SCOPED_TRACE(result);
        fake->clearRecords();
        fake->getIconResult = result;
        fake->icon = icon;
        EXPECT_FALSE(line->PaintDevIcon(H<HDC>(0x99)));
        EXPECT_THAT(fake->log, ElementsAre("lineGetIconA"));
        EXPECT_EQ(line->LastError(), result);
    }
}
