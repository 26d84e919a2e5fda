// What the windows take from the system: the manifest's themed controls and DPI awareness,
// both windows laid out again on a monitor of another DPI, and what a screen reader reads
// of every control through MSAA.
#include "ui/AppInfo.h"
#include "ui/win32/DialForm.h"
#include "ui/win32/Geometry.h"
#include "tests/support/FakeTapi.h"
#include "ui/win32/MessagePump.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include "tests/support/WindowText.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using ui::win32::DialForm;
using ui::win32::TForm;

// The manifest this program carries, as OrvoDial.exe does, takes effect: the Common
// Controls 6 assembly (the themed controls) is the comctl32 the process gets, and windows
// are aware of their monitor's DPI (version 2 where the system has it, as on Windows 10
// 1703 on; Wine takes the fallback, version 1).
TEST(Manifest, ThemedControlsAndPerMonitorDpiAwareness) {
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(comctl, path, MAX_PATH);
    std::string lower = Ascii(path);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(lower.find("microsoft.windows.common-controls_6595b64144ccf1df_6."), std::string::npos)
        << "comctl32 from the side-by-side assembly: " << lower;

    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    using GetContextFn = HANDLE(WINAPI*)();
    using AwarenessFn = int(WINAPI*)(HANDLE);
    auto context = reinterpret_cast<GetContextFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
    auto awareness = reinterpret_cast<AwarenessFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    ASSERT_TRUE(context != nullptr && awareness != nullptr);
    constexpr int kPerMonitorAware = 2; // DPI_AWARENESS_PER_MONITOR_AWARE
    EXPECT_EQ(awareness(context()), kPerMonitorAware) << "context " << context();
}

// Colours in a bitmap: a picture scaled smoothly has blends that the drawing has not.
std::size_t Colours(HBITMAP picture) {
    BITMAP size{};
    GetObjectW(picture, sizeof size, &size);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, picture);
    std::set<COLORREF> seen;
    for (int y = 0; y < size.bmHeight; ++y)
        for (int x = 0; x < size.bmWidth; ++x)
            seen.insert(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteDC(dc);
    return seen.size();
}

SIZE ClientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return {r.right, r.bottom};
}

SIZE PictureSize(HWND button) {
    BITMAP size{};
    GetObjectW(reinterpret_cast<HBITMAP>(SendMessageW(button, BM_GETIMAGE, IMAGE_BITMAP, 0)), sizeof size,
               &size);
    return {size.bmWidth, size.bmHeight};
}

LONG FontHeight(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

// A move to a monitor of another scaling, as Windows reports it: both windows take the
// suggested size and lay out their controls, fonts and keypad pictures again at the new
// DPI, the pictures scaled smoothly; back on the first monitor they are as they were.
TEST(Dpi, BothWindowsLayOutAgainOnAMonitorOfAnotherDpi) {
    auto fake = std::make_shared<testsupport::FakeTapi>();
    fake->devices.push_back({});
    DialForm form(GetModuleHandleW(nullptr), [fake] { return CvbTAPILine::New(fake); });
    form.Load();
    const int first = ui::win32::WindowDpi(form.hwnd());
    HWND key = form.keypadButton(1); // the "1" key
    const ui::TwipRect keyRect = ui::dialform::kKeypad[1].rect();
    auto expectAt = [&](int dpi) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " dpi");
        EXPECT_EQ(ClientSize(key).cx, ui::win32::TwipsToDevice(keyRect.width, dpi));
        EXPECT_EQ(ClientSize(key).cy, ui::win32::TwipsToDevice(keyRect.height, dpi));
        EXPECT_EQ(ClientSize(form.dialButton()).cx,
                  ui::win32::TwipsToDevice(ui::dialform::kDial.rect.width, dpi));
        const auto picture = ui::dialform::KeyPictureAt(dpi);
        EXPECT_EQ(PictureSize(key).cx, picture.width);
        EXPECT_EQ(PictureSize(key).cy, picture.height);
    };
    expectAt(first);
    const LONG firstFont = FontHeight(form.dialButton());
    const std::size_t drawnColours =
        Colours(reinterpret_cast<HBITMAP>(SendMessageW(key, BM_GETIMAGE, IMAGE_BITMAP, 0)));

    const int second = first * 3 / 2;
    RECT suggested{40, 30, 40 + 600, 30 + 500};
    SendMessageW(form.hwnd(), WM_DPICHANGED, MAKEWPARAM(second, second),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    GetWindowRect(form.hwnd(), &now);
    EXPECT_TRUE(EqualRect(&now, &suggested)) << "the suggested place and size taken";
    expectAt(second);
    EXPECT_NEAR(FontHeight(form.dialButton()), firstFont * 3 / 2, 1);
    EXPECT_GT(Colours(reinterpret_cast<HBITMAP>(SendMessageW(key, BM_GETIMAGE, IMAGE_BITMAP, 0))),
              drawnColours)
        << "scaled smoothly: blends between the drawing's colours";

    SendMessageW(form.hwnd(), WM_DPICHANGED, MAKEWPARAM(first, first), reinterpret_cast<LPARAM>(&suggested));
    expectAt(first);
    EXPECT_EQ(FontHeight(form.dialButton()), firstFont);

    TForm timing(GetModuleHandleW(nullptr));
    HWND done = GetDlgItem(timing.hwnd(), TForm::kIdCommand1);
    HWND clock = GetDlgItem(timing.hwnd(), TForm::kIdTimebox);
    const LONG clockFont = FontHeight(clock);
    SendMessageW(timing.hwnd(), WM_DPICHANGED, MAKEWPARAM(second, second),
                 reinterpret_cast<LPARAM>(&suggested));
    GetWindowRect(timing.hwnd(), &now);
    EXPECT_TRUE(EqualRect(&now, &suggested));
    EXPECT_EQ(ClientSize(done).cx, ui::win32::TwipsToDevice(ui::tform::kCommand1.width, second));
    EXPECT_EQ(ClientSize(clock).cy, ui::win32::TwipsToDevice(ui::tform::kTimebox.height, second));
    EXPECT_NEAR(FontHeight(clock), clockFont * 3 / 2, 1);
}

} // namespace


// What a screen reader reads of each control of both windows, through MSAA: the names and
// roles of the table the Linux check reads too (tests/ui/accessible-names.tsv); the labels'
// texts as their values; "Press" on "5 JKL" does what a click does.
TEST(Accessibility, EveryControlTellsItsNameRoleAndValue) {
    struct Row {
        const char* window;
        const char* kind;
        const char* name;
    };
    const Row table[] = {
#include "tests/ui/win32/AccessibleNames.inc"
    };
    struct Told {
        HWND hwnd;
        long role;
        std::string name, value;
        IAccessible* object;
    };
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    auto fake = std::make_shared<testsupport::FakeTapi>();
    fake->devices.push_back({});
    {
        DialForm form(GetModuleHandleW(nullptr), [fake] { return CvbTAPILine::New(fake); });
        form.Load();
        TForm timing(GetModuleHandleW(nullptr));
        auto narrow = [](BSTR text) {
            std::string out;
            for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i)
                out += static_cast<char>(text[i]);
            SysFreeString(text);
            return out;
        };
        std::vector<Told> told;
        auto ask = [&](HWND window) {
            for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                IAccessible* object = nullptr;
                if (FAILED(AccessibleObjectFromWindow(child, static_cast<DWORD>(OBJID_CLIENT),
                                                      __uuidof(IAccessible),
                                                      reinterpret_cast<void**>(&object))))
                    continue;
                VARIANT self{};
                self.vt = VT_I4;
                self.lVal = CHILDID_SELF;
                VARIANT role{};
                BSTR name = nullptr, value = nullptr;
                object->get_accRole(self, &role);
                object->get_accName(self, &name);
                object->get_accValue(self, &value);
                told.push_back(
                    {child, role.vt == VT_I4 ? role.lVal : 0, narrow(name), narrow(value), object});
            }
        };
        ask(form.hwnd());
        ask(timing.hwnd());
        const std::map<std::string, long> roles = {{"button", ROLE_SYSTEM_PUSHBUTTON},
                                                   {"combobox", ROLE_SYSTEM_COMBOBOX},
                                                   {"label", ROLE_SYSTEM_STATICTEXT}};
        auto find = [&](const std::string& name) -> const Told* {
            for (const Told& t : told)
                if (t.name == name)
                    return &t;
            return nullptr;
        };
        for (const Row& row : table) {
            if (std::string(row.kind) == "window")
                continue;
            SCOPED_TRACE(std::string(row.window) + " " + row.name);
            const Told* t = find(row.name);
            if (t == nullptr) {
                std::string all;
                for (const Told& each : told)
                    all += each.name + " (role " + std::to_string(each.role) + ")\n";
                ADD_FAILURE() << "no control named so; MSAA tells:\n" << all;
                continue;
            }
            EXPECT_EQ(t->role, roles.at(row.kind));
            EXPECT_EQ(GetAncestor(t->hwnd, GA_ROOT),
                      std::string(row.window) == "dial" ? form.hwnd() : timing.hwnd());
        }
        ASSERT_NE(find("Elapsed time"), nullptr);
        EXPECT_EQ(find("Elapsed time")->value, ui::tform::kTimeboxDesignText)
            << "the clock's text is its value";
        ASSERT_NE(find("Number called"), nullptr);
        EXPECT_EQ(find("Number called")->value, ui::tform::kNumDesignText);

        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        ASSERT_NE(find("5 JKL"), nullptr);
        EXPECT_EQ(find("5 JKL")->object->accDoDefaultAction(self), S_OK);
        for (int i = 0; i < 100 && Text(form.text1()) != "5"; ++i) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            Sleep(10);
        }
        EXPECT_EQ(Text(form.text1()), "5") << "Press on the key did what a click does";
        for (Told& t : told)
            t.object->Release();
    }
    CoUninitialize();
}
