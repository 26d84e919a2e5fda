// The line object on the system's telephony binding (tapi32.dll, user32.dll).
//
// Under Wine, tapi32 registers a line application but reports no line devices, which is
// exactly the start-up failure the program must survive: Create says false without a
// telephony error, selecting line 0 raises error 380, and per-line data raises error 9.
// On a Windows with a real line device these expectations do not hold, so the registry
// tests skip themselves when the system reports any line.
#include <CvbTAPILine.h>
#include <RuntimeError.h>
#include <mTAPIDecs.h>
#include <mTAPIvb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <type_traits>

// The callback handed to lineInitializeExA has TAPI's calling convention (on 32-bit
// Windows a __cdecl function here would corrupt the stack on every message).
static_assert(std::is_same_v<decltype(&mTAPIvb::LineCallback), LINECALLBACK>);

// The registration record has the size the telephony service checks in dwTotalSize:
// 24 bytes on 32-bit Windows, 28 on 64-bit (the handle grows, the record is packed).
static_assert(sizeof(LINEINITIALIZEEXPARAMS) == (sizeof(void*) == 4 ? 24 : 28));
static_assert(sizeof(HLINEAPP) == 4 && sizeof(HLINE) == 4 && sizeof(HCALL) == 4);

namespace {

int NumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

class SystemTapiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        line = CvbTAPILine::New();
        line->setLowAPI(0x00010003);
        line->setHiAPI(0x00030000);
        created = line->Create();
        if (line->numLines() > 0)
            GTEST_SKIP() << "this system has " << line->numLines() << " line device(s)";
    }
    std::shared_ptr<CvbTAPILine> line;
    bool created = false;
};

TEST_F(SystemTapiTest, CreateWithoutLineDevicesFailsWithoutTelephonyError) {
    EXPECT_FALSE(created);
    EXPECT_EQ(line->LastError(), 0);
    EXPECT_EQ(line->numLines(), 0u);
    EXPECT_EQ(line->state().highestAPIVersion, 0u) << "nothing was negotiated";
}

TEST_F(SystemTapiTest, PropertiesRaiseTheirRunTimeErrors) {
    struct Case {
        const char* name;
        std::function<void()> action;
        int number;
    };
    const Case cases[] = {
        {"CurrentLineID0", [&] { line->setCurrentLineID(0); }, RuntimeError::kInvalidPropertyValue},
        {"CurrentLineIDMinus1", [&] { line->setCurrentLineID(-1); }, RuntimeError::kInvalidPropertyValue},
        {"NegotiatedAPIVersion", [&] { (void)line->NegotiatedAPIVersion(); },
         RuntimeError::kSubscriptOutOfRange},
        {"ExtAPI_ID0", [&] { (void)line->ExtAPI_ID0(); }, RuntimeError::kSubscriptOutOfRange},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NumberOf(c.action), c.number);
    }
    EXPECT_EQ(line->CurrentLineID(), 0u);
    EXPECT_FALSE(line->LineSupportsVoiceCalls());
    EXPECT_EQ(line->LineName(), "");
}

TEST_F(SystemTapiTest, CallControlIsRefusedWithoutAnOpenLine) {
    EXPECT_FALSE(line->MakeCallAsynch("555-1212"));
    EXPECT_FALSE(line->DropCallAsynch());
    EXPECT_FALSE(line->CloseLine());
    EXPECT_EQ(line->LastError(), 0) << "refusals by the object's own state record nothing";
}

TEST_F(SystemTapiTest, ReleasingTheObjectAfterCreateIsClean) {
    line.reset(); // lineShutdown on the real registration
    auto again = CvbTAPILine::New();
    EXPECT_FALSE(again->Create());
    EXPECT_EQ(again->LastError(), 0) << "a second registration in the same process works too";
}

// DrawIconEx and DestroyIcon go to user32: a drawn icon changes the pixels of a memory
// device context, and a destroyed icon cannot be destroyed twice.
TEST(SystemIconFunctions, DrawAndDestroyReachUser32) {
    auto api = mTAPIDecs::SystemTapi();
    ASSERT_EQ(api, mTAPIDecs::SystemTapi()) << "one binding per process";

    const BYTE andMask[32 * 32 / 8] = {}; // fully opaque
    BYTE xorMask[32 * 32 / 8];            // monochrome: all white
    std::fill(std::begin(xorMask), std::end(xorMask), BYTE{0xFF});
    HICON icon = CreateIcon(GetModuleHandleW(nullptr), 32, 32, 1, 1, andMask, xorMask);
    ASSERT_NE(icon, nullptr);

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 40);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 40, 40};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    EXPECT_TRUE(api->DrawIconEx(dc, 4, 4, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetPixel(dc, 10, 10) & 0xFFFFFF, 0xFFFFFFu) << "inside the icon";
    EXPECT_EQ(GetPixel(dc, 38, 38) & 0xFFFFFF, 0x000000u) << "outside its own 32x32 size";

    EXPECT_TRUE(api->DestroyIcon(icon));
    EXPECT_FALSE(api->DestroyIcon(icon));

    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

} // namespace
