// The line object on the system's telephony binding (tapi32.dll, user32.dll). Wine's
// tapi32 registers the application but reports no line devices: Create says false without
// a telephony error, selecting line 0 raises 380 and per-line data 9. Skipped on a system
// with a line device, where these do not hold.
#include "telephony/CvbTAPILine.h"
#include "telephony/RuntimeError.h"
#include "telephony/mTAPIDecs.h"
#include "telephony/mTAPIvb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <type_traits>

// The callback has TAPI's calling convention (a __cdecl one corrupts the 32-bit stack), and
// the registration record the size the service checks: 24 bytes on 32-bit, 28 on 64-bit.
static_assert(std::is_same_v<decltype(&mTAPIvb::LineCallback), LINECALLBACK>);
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

TEST(SystemTapi, WithoutLineDevicesCreateFailsAndPropertiesRaiseTheirErrors) {
    auto line = CvbTAPILine::New();
    line->setLowAPI(0x00010003);
    line->setHiAPI(0x00030000);
    const bool created = line->Create();
    if (line->numLines() > 0)
        GTEST_SKIP() << "this system has " << line->numLines() << " line device(s)";
    EXPECT_FALSE(created);
    EXPECT_EQ(line->LastError(), 0);
    EXPECT_EQ(line->state().highestAPIVersion, 0u) << "nothing was negotiated";

    const struct {
        const char* name;
        std::function<void()> action;
        int number;
    } cases[] = {
        {"CurrentLineID 0", [&] { line->setCurrentLineID(0); }, RuntimeError::kInvalidPropertyValue},
        {"CurrentLineID -1", [&] { line->setCurrentLineID(-1); }, RuntimeError::kInvalidPropertyValue},
        {"NegotiatedAPIVersion", [&] { (void)line->NegotiatedAPIVersion(); },
         RuntimeError::kSubscriptOutOfRange},
        {"ExtAPI_ID0", [&] { (void)line->ExtAPI_ID0(); }, RuntimeError::kSubscriptOutOfRange},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumberOf(c.action), c.number) << c.name;

    line.reset(); // lineShutdown: a second registration in the same process works too
    auto again = CvbTAPILine::New();
    EXPECT_FALSE(again->Create());
    EXPECT_EQ(again->LastError(), 0);
}

// DrawIconEx and DestroyIcon reach user32: the drawn icon changes the pixels of a memory
// device context, and a destroyed icon cannot be destroyed twice.
TEST(SystemTapi, DrawIconExAndDestroyIconReachUser32) {
    auto api = mTAPIDecs::SystemTapi();
    const BYTE andMask[32 * 32 / 8] = {}; // opaque
    BYTE xorMask[32 * 32 / 8];            // white
    std::fill_n(xorMask, sizeof xorMask, BYTE{0xFF});
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
