// The configuration dialogs and the device icon of the current line.
#include "LineTestSupport.h"

#include <gmock/gmock.h>

using linetest::LineTest;
using ::testing::ElementsAre;

namespace {

HWND Window(std::uintptr_t v) {
    return reinterpret_cast<HWND>(v);
}
HDC Dc(std::uintptr_t v) {
    return reinterpret_cast<HDC>(v);
}

class DialogTest : public LineTest {
  protected:
    DialogTest() : LineTest(3) {
        fake->devices[0].apiVersion = 0x00010004;
        fake->devices[1].apiVersion = 0x00020002;
        fake->devices[2].apiVersion = 0x00020000;
        EXPECT_TRUE(line->Create());
        line->setCurrentLineID(2);
        fake->clearRecords();
    }
};

} // namespace

TEST_F(DialogTest, ConfigDialogPassesOwnerAndClass) {
    EXPECT_TRUE(line->ConfigDialog());
    EXPECT_TRUE(line->ConfigDialog(Window(0x55), "comm/datamodem"));
    EXPECT_TRUE(line->ConfigDialog(Window(0x56), "tapi/line é"));
    ASSERT_EQ(fake->configDialogCalls.size(), 3u);
    EXPECT_EQ(fake->configDialogCalls[0].deviceID, 2u);
    EXPECT_EQ(fake->configDialogCalls[0].owner, nullptr);
    EXPECT_EQ(fake->configDialogCalls[0].deviceClass, std::nullopt);
    EXPECT_EQ(fake->configDialogCalls[1].owner, Window(0x55));
    EXPECT_EQ(fake->configDialogCalls[1].deviceClass, "comm/datamodem");
    EXPECT_EQ(fake->configDialogCalls[2].deviceClass, "tapi/line \xE9");
    EXPECT_EQ(line->LastError(), 0);
}

TEST_F(DialogTest, DialingPropertiesPassHighestVersionOverAllLines) {
    EXPECT_TRUE(line->DialingPropertiesDialog());
    EXPECT_TRUE(line->DialingPropertiesDialog(Window(0x77), "0049 30 €"));
    ASSERT_EQ(fake->translateDialogCalls.size(), 2u);
    const auto& first = fake->translateDialogCalls[0];
    EXPECT_EQ(first.lineApp, fake->lineAppHandle);
    EXPECT_EQ(first.deviceID, 2u);
    EXPECT_EQ(first.apiVersion, 0x00020002u) << "the highest negotiated, not the current line's 0x00020000";
    EXPECT_EQ(first.owner, nullptr);
    EXPECT_EQ(first.addressIn, std::nullopt);
    EXPECT_EQ(fake->translateDialogCalls[1].owner, Window(0x77));
    EXPECT_EQ(fake->translateDialogCalls[1].addressIn, "0049 30 \x80");
}

// Both dialogs record a failure and make no check of their own first.
TEST(LineDialogs, FailuresAreRecordedEvenWithoutRegistration) {
    auto fake = std::make_shared<testsupport::FakeTapi>();
    auto line = CvbTAPILine::New(fake);
    fake->configDialogResult = LINEERR_NODRIVER;
    EXPECT_FALSE(line->ConfigDialog());
    EXPECT_EQ(line->LastError(), LINEERR_NODRIVER);
    fake->translateDialogResult = LINEERR_INVALAPPHANDLE;
    EXPECT_FALSE(line->DialingPropertiesDialog());
    EXPECT_EQ(line->LastError(), LINEERR_INVALAPPHANDLE);
    ASSERT_EQ(fake->translateDialogCalls.size(), 1u);
    EXPECT_EQ(fake->translateDialogCalls[0].lineApp, 0u);
    EXPECT_EQ(fake->translateDialogCalls[0].apiVersion, 0u);
}

TEST_F(DialogTest, PaintDevIconDrawsAndDestroysTheIconOnce) {
    EXPECT_TRUE(line->PaintDevIcon(Dc(0x99)));
    EXPECT_TRUE(line->PaintDevIcon(Dc(0x99), 10, -20, 48, 32));
    EXPECT_THAT(fake->log, ElementsAre("lineGetIconA", "DrawIconEx", "DestroyIcon", "lineGetIconA",
                                       "DrawIconEx", "DestroyIcon"));
    ASSERT_EQ(fake->getIconCalls.size(), 2u);
    EXPECT_EQ(fake->getIconCalls[0].deviceID, 2u);
    EXPECT_EQ(fake->getIconCalls[0].deviceClass, std::nullopt);

    const auto& own = fake->drawIconCalls[0];
    EXPECT_EQ(own.hdc, Dc(0x99));
    EXPECT_EQ(own.icon, fake->icon);
    EXPECT_EQ(own.left, 0);
    EXPECT_EQ(own.top, 0);
    EXPECT_EQ(own.width, 0) << "0 draws at the icon's own size";
    EXPECT_EQ(own.height, 0);
    EXPECT_EQ(own.step, 0u);
    EXPECT_EQ(own.brush, nullptr);
    EXPECT_EQ(own.flags, DI_NORMAL);
    const auto& placed = fake->drawIconCalls[1];
    EXPECT_EQ(placed.left, 10);
    EXPECT_EQ(placed.top, -20);
    EXPECT_EQ(placed.width, 48);
    EXPECT_EQ(placed.height, 32);
    EXPECT_THAT(fake->destroyIconCalls, ElementsAre(fake->icon, fake->icon));
}

TEST_F(DialogTest, PaintDevIconDrawsNothingWhenNoIconComes) {
    struct Case {
        const char* name;
        LONG result;
        HICON icon;
        LONG lastError;
    };
    const Case cases[] = {
        {"GetIconFails", static_cast<LONG>(LINEERR_BADDEVICEID),
         reinterpret_cast<HICON>(std::uintptr_t{0x0D00}), static_cast<LONG>(LINEERR_BADDEVICEID)},
        {"NullIcon", 0, nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake->clearRecords();
        fake->getIconResult = c.result;
        fake->icon = c.icon;
        EXPECT_FALSE(line->PaintDevIcon(Dc(0x99)));
        EXPECT_THAT(fake->log, ElementsAre("lineGetIconA"));
        EXPECT_EQ(line->LastError(), c.lastError);
    }
}
