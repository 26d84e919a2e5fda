// The native dial and timing windows driven end to end: their message loop runs on this
// thread while a driver thread posts keys and clicks, answers the message boxes and presses
// Done. Telephony is the scripted fake; its messages go through a window of this thread,
// as the real service's hidden window does, so the callback runs inside whichever loop runs.
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

using namespace std::chrono_literals;
using ui::win32::DialForm;
using ui::win32::TForm;
using Log = std::vector<std::string>;
constexpr int kMessageBoxTextId = 0xFFFF;

// Telephony messages posted from any thread reach the fake's line callback when this
// thread dispatches them, as through the real service's hidden window.
testsupport::FakeTapi* gFake = nullptr;
std::atomic<int> gDelivered{0};
LRESULT CALLBACK TelephonyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message < WM_APP)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    gFake->deliver(message - WM_APP, wParam);
    ++gDelivered;
    return 0;
}

void WaitFor(const std::function<bool()>& condition, const std::string& what) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("timed out waiting for " + what);
        std::this_thread::sleep_for(10ms);
    }
}

// What the driver thread sees of the UI thread's windows, and what it does to them.
struct Driver {
    DialForm& form_;
    DWORD uiThread_;

    HWND dial() const { return form_.hwnd(); }
    HWND text1() const { return form_.text1(); }
    HWND item(int id) const { return GetDlgItem(dial(), id); }
    HWND focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(uiThread_, &info);
        return info.hwndFocus;
    }
    bool inNumberBox() const {
        return focus() != nullptr && (focus() == text1() || IsChild(text1(), focus()));
    }
    std::string number() const { return Text(text1()); }
    void waitNumber(const std::string& expected) {
        WaitFor([&] { return number() == expected; },
                "number \"" + expected + "\" (is \"" + number() + "\")");
    }
    // The selection in the number box's edit field, MAKELONG(start, end).
    LONG selection() const {
        return static_cast<LONG>(SendMessageW(GetWindow(text1(), GW_CHILD), EM_GETSEL, 0, 0));
    }

    // Keys go to whatever control has the focus, as the keyboard sends them; then the
    // number box is to show `expected`.
    void type(const std::string& keys, const std::string& expected) {
        for (char c : keys)
            PostMessageW(focus(), WM_CHAR, static_cast<unsigned char>(c), 1);
        waitNumber(expected);
    }
    void press(WPARAM key) {
        PostMessageW(focus(), WM_KEYDOWN, key, 1);
        PostMessageW(focus(), WM_KEYUP, key, 0xC0000001);
    }
    void click(int id) { PostMessageW(item(id), BM_CLICK, 0, 0); }

    // The visible top-level window with this class and title.
    static HWND find(const wchar_t* className, const wchar_t* title) {
        HWND window = FindWindowW(className, title);
        return window != nullptr && IsWindowVisible(window) ? window : nullptr;
    }
    // Waits for a message box titled OrvoDial and checks its text, its buttons (OK or Yes
    // focused) and that it shows no icon.
    HWND messageBox(const std::string& text, UINT type) {
        HWND box = nullptr;
        WaitFor([&] { return (box = find(L"#32770", L"OrvoDial")) != nullptr; },
                "a message box titled OrvoDial");
        EXPECT_EQ(Text(GetDlgItem(box, kMessageBoxTextId)), text);
        EXPECT_EQ(GetDlgItem(box, IDOK) != nullptr, type == MB_OK);
        EXPECT_EQ(GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr, type == MB_YESNO);
        for (int id : {20, 1088}) // the icon control: 20 on Windows, 1088 in Wine
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(box, id)) &&
                         SendMessageW(GetDlgItem(box, id), STM_GETICON, 0, 0))
                << "the message box shows an icon";
        WaitFor([&] { return focus() == GetDlgItem(box, type == MB_OK ? IDOK : IDYES); },
                "OK or Yes to have the focus");
        return box;
    }
    void answer(HWND box, int id) {
        PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
        WaitFor([&] { return !IsWindowVisible(box); }, "the message box to close");
    }
    // Waits for the modal timing window showing `number`, its clock at zero, Done focused.
    HWND timingWindow(const std::string& number) {
        HWND tform = nullptr;
        WaitFor([&] { return (tform = find(L"OrvoDialTForm", L"Call Timing")) != nullptr; },
                "the timing window");
        EXPECT_EQ(Text(GetDlgItem(tform, TForm::kIdNum)), number);
        WaitFor([&] { return Text(GetDlgItem(tform, TForm::kIdTimebox)) == "00:00:00"; },
                "the clock at zero");
        EXPECT_FALSE(IsWindowEnabled(dial())) << "the timing window is modal";
        WaitFor([&] { return focus() == GetDlgItem(tform, IDOK); }, "Done to have the focus");
        return tform;
    }
    void waitDialBack() {
        WaitFor([&] { return IsWindowEnabled(dial()) && number().empty() && inNumberBox(); },
                "the dial window to take input again, empty, with the focus in the number box");
    }
    std::string history() const { // the drop-down list, top first, one entry a line
        std::string all;
        wchar_t entry[256];
        for (WPARAM i = 0; SendMessageW(text1(), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry)) != CB_ERR;
             ++i)
            all += Ascii(entry) + "\n";
        return all;
    }
};

// One dial window on one fake, its loop run here until the driver's script closes it.
class DialerEndToEnd : public ::testing::Test {
  protected:
    void Run(const std::function<void(Driver&)>& script, const std::function<void(DialForm&)>& setUp = {}) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = TelephonyProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OrvoDialTestTelephony";
        RegisterClassW(&wc);
        gFake = fake.get();
        fake->devices.push_back({});
        telephony =
            CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        DialForm form(
            GetModuleHandleW(nullptr), [this] { return CvbTAPILine::New(fake); },
            [this] { return ui::LocalDateTime{2026, 1, 5, 10, clockOffset / 60, clockOffset % 60}; });
        form.Load();
        if (setUp)
            setUp(form);
        form.Show();
        const DWORD uiThread = GetCurrentThreadId();
        std::thread driver([&] {
            Driver d{form, uiThread};
            try {
                WaitFor([&] { return IsWindowVisible(form.hwnd()); }, "the dial window");
                script(d);
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
            }
            PostMessageW(form.hwnd(), WM_CLOSE, 0, 0);
            // Whatever is still open (a message box, the timing window) ends with WM_QUIT.
            std::this_thread::sleep_for(200ms);
            PostThreadMessageW(uiThread, WM_QUIT, 0, 0);
        });
        ui::win32::RunMessageLoop();
        driver.join();
        MSG msg; // a second WM_QUIT must not end the next test's loop
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        if (form.timingWindow() != nullptr)
            timingFace = form.timingWindow()->clockFace();
        DestroyWindow(telephony);
    }

    std::shared_ptr<testsupport::FakeTapi> fake = std::make_shared<testsupport::FakeTapi>();
    HWND telephony = nullptr;
    std::atomic<int> clockOffset{0}; // seconds after 10:00:00
    std::wstring timingFace;
};

Log Calls(std::initializer_list<Log> parts) {
    Log all = {"lineInitializeExA", "lineNegotiateAPIVersion", "lineGetDevCapsA", "lineGetDevCapsA"};
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Tab walks the keypad by its tab indices, then Dial, "Clr", "<-", "?", the number box and
// round again. Characters typed on a focused button or in the combo's edit pass the key
// preview first: accepted ones are appended at the end, the others swallowed. Enter
// presses the focused push button, and only elsewhere Dial.
TEST_F(DialerEndToEnd, TabOrderKeyPreviewKeypadAndEnter) {
    Run([&](Driver& d) {
        std::vector<HWND> order(ui::dialform::kKeyCount);
        for (std::size_t i = 0; i < ui::dialform::kKeyCount; ++i)
            order[static_cast<std::size_t>(ui::dialform::kKeypad[i].tabIndex)] =
                d.item(DialForm::kIdKeypadFirst + static_cast<int>(i));
        for (int id : {DialForm::kIdDial, DialForm::kIdClearBtn, DialForm::kIdCorBtn, DialForm::kIdHelp})
            order.push_back(d.item(id));
        order.push_back(nullptr); // the number box
        ASSERT_EQ(d.focus(), order[0]) << "the \"1\" key, first in the tab order, starts with the focus";
        for (std::size_t step = 1; step <= order.size(); ++step) {
            d.press(VK_TAB);
            HWND next = order[step % order.size()];
            WaitFor([&] { return next != nullptr ? d.focus() == next : d.inNumberBox(); },
                    "tab stop " + std::to_string(step));
        }

        d.type("555-1212", "555-1212");
        EXPECT_TRUE(d.inNumberBox());
        EXPECT_EQ(d.selection(), MAKELONG(8, 8)) << "the caret at the end";
        d.type("a+(.9", "555-12129");
        d.type("\b", "555-1212");
        HWND edit = GetWindow(d.text1(), GW_CHILD);
        SendMessageW(edit, EM_SETSEL, 0, 0);
        d.type("0", "555-12120");
        SendMessageW(edit, EM_SETSEL, 0, -1);
        d.type("7", "555-121207");
        d.click(DialForm::kIdCorBtn);
        d.click(DialForm::kIdCorBtn);
        d.waitNumber("555-1212");
        for (int index : {0, 1, 9, 10, 11}) // the keypad's tags: index 0 is "2", index 1 is "1"
            d.click(DialForm::kIdKeypadFirst + index);
        d.waitNumber("555-121221*0#");
        EXPECT_TRUE(d.inNumberBox());
        EXPECT_EQ(d.selection(), MAKELONG(13, 13));
        d.click(DialForm::kIdClearBtn);
        d.waitNumber("");

        d.press(VK_TAB); // to the "1" key, then Enter on it
        WaitFor([&] { return d.focus() == order[0]; }, "the \"1\" key");
        d.press(VK_RETURN);
        d.waitNumber("1");
        // "?" took the focus by a click and keeps it after its message: Enter shows Help
        // again instead of "Time call?".
        WaitFor([&] { return d.inNumberBox(); }, "the focus in the number box");
        d.type("3", "13");
        d.click(DialForm::kIdHelp);
        d.answer(d.messageBox(ui::HelpText(), MB_OK), IDOK);
        WaitFor([&] { return d.focus() == d.item(DialForm::kIdHelp); }, "\"?\" to keep the focus");
        d.press(VK_RETURN);
        d.answer(d.messageBox(ui::HelpText(), MB_OK), IDOK);
        EXPECT_EQ(d.number(), "13");
    });
    EXPECT_EQ(fake->log, Calls({{"lineShutdown"}}));
}

// Counts the timing window's disappearances, and those while the dial window was still
// disabled: a disabled window cannot take the activation, which goes to another program.
WNDPROC gTimingProc = nullptr;
HWND gDial = nullptr;
std::atomic<int> gHides{0}, gHidesWhileDialDisabled{0};
LRESULT CALLBACK WatchProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING &&
        (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_HIDEWINDOW)) {
        ++gHides;
        gHidesWhileDialDisabled += IsWindowEnabled(gDial) ? 0 : 1;
    }
    return CallWindowProcW(gTimingProc, hwnd, message, wParam, lParam);
}

TEST_F(DialerEndToEnd, DialTimeTheCallAnswerNoAndFailures) {
    std::wstring drawnFace;
    Run([&](Driver& d) {
        gDial = d.dial();
        // Enter in the number box presses Dial, the default button.
        d.type("555-1212", "555-1212");
        d.press(VK_RETURN);
        HWND box = d.messageBox("Time call?", MB_YESNO);
        EXPECT_EQ(d.history(), "555-1212\n") << "listed before the line opens";
        d.answer(box, IDYES);
        HWND first = d.timingWindow("555-1212");
        PostMessageW(telephony, WM_APP + LINE_REPLY, 1, 0); // handled inside the modal loop
        PostMessageW(telephony, WM_APP + LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0);
        WaitFor([&] { return gDelivered == 2; }, "line messages inside the timing window's loop");
        gTimingProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(first, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchProc)));
        {
            // The clock is drawn in the face it asked for (not a substitute), and fits its label.
            HWND timebox = GetDlgItem(first, TForm::kIdTimebox);
            HDC screen = GetDC(nullptr);
            HGDIOBJ old =
                SelectObject(screen, reinterpret_cast<HFONT>(SendMessageW(timebox, WM_GETFONT, 0, 0)));
            SIZE text{};
            GetTextExtentPoint32W(screen, L"00:00:00", 8, &text);
            wchar_t face[LF_FACESIZE] = {};
            GetTextFaceW(screen, LF_FACESIZE, face);
            drawnFace = face;
            SelectObject(screen, old);
            ReleaseDC(nullptr, screen);
            RECT label{};
            GetClientRect(timebox, &label);
            EXPECT_LE(text.cx, label.right);
            EXPECT_LE(text.cy, label.bottom);
        }
        clockOffset = 65;
        WaitFor([&] { return Text(GetDlgItem(first, TForm::kIdTimebox)) == "00:01:05"; },
                "the clock at 00:01:05");
        PostMessageW(GetDlgItem(first, IDOK), BM_CLICK, 0, 0);
        d.waitDialBack();

        d.type("123", "123"); // answered No: no timing window
        d.click(DialForm::kIdDial);
        d.answer(d.messageBox("Time call?", MB_YESNO), IDNO);
        d.waitDialBack();
        EXPECT_EQ(d.find(L"OrvoDialTForm", L"Call Timing"), nullptr);

        // Done hid the timing window, which shows again; closed from its title bar it is
        // destroyed, and the next call creates a new one.
        for (const char* number : {"*77#", "2"}) {
            d.waitNumber("");
            d.type(number, number);
            d.press(VK_RETURN);
            d.answer(d.messageBox("Time call?", MB_YESNO), IDYES);
            HWND tform = d.timingWindow(number);
            const bool reused = tform == first;
            EXPECT_EQ(reused, number[0] == '*') << number;
            PostMessageW(reused ? tform : GetDlgItem(tform, IDOK), reused ? WM_CLOSE : BM_CLICK, 0, 0);
            d.waitDialBack();
            EXPECT_EQ(IsWindow(tform) == FALSE, reused) << "closing destroys, Done hides";
        }
        EXPECT_EQ(d.history(), "2\n*77#\n123\n555-1212\n");
    });

    const Log call = {"lineOpen", "lineMakeCallA", "lineDrop", "lineClose"};
    EXPECT_EQ(fake->log, Calls({call, call, call, call, {"lineDeallocateCall", "lineShutdown"}}));
    EXPECT_EQ(gHides.load(), 2) << "hidden by Done, destroyed by closing";
    EXPECT_EQ(gHidesWhileDialDisabled.load(), 0) << "the dial window enabled first";
    EXPECT_TRUE(timingFace == L"Digiface" || timingFace == L"DSEG7 Classic") << Ascii(timingFace.c_str());
    EXPECT_EQ(lstrcmpiW(drawnFace.c_str(), timingFace.c_str()), 0) << Ascii(drawnFace.c_str());
}

// A line that cannot be opened, and a call refused at once: "TAPI failure" with OK and
// the error's text beneath it, the number stays in the box for another try, and the line
// is not left open.
TEST_F(DialerEndToEnd, TapiFailure) {
    const struct {
        const char* name;
        LONG openResult, makeCallResult;
        Log calls;
        const char* text;
    } rows[] = {
        {"line cannot be opened", static_cast<LONG>(LINEERR_ALLOCATED), 1, {"lineOpen"}, "TAPI failure\n\nAllocated"},
        {"call refused at once",
         0,
         static_cast<LONG>(LINEERR_CALLUNAVAIL),
         {"lineOpen", "lineMakeCallA", "lineClose"},
         "TAPI failure\n\nCall UnAvail"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake = std::make_shared<testsupport::FakeTapi>();
        fake->openResult = row.openResult;
        fake->makeCallResult = row.makeCallResult;
        Run([&](Driver& d) {
            d.type("555-1212", "555-1212");
            d.press(VK_RETURN);
            d.answer(d.messageBox(row.text, MB_OK), IDOK);
            WaitFor([&] { return IsWindowEnabled(d.dial()) && d.number() == "555-1212" && d.inNumberBox(); },
                    "the dial window to take input again, the number kept, the focus in the number box");
            EXPECT_EQ(d.history(), "555-1212\n");
        });
        EXPECT_EQ(fake->log, Calls({row.calls, {"lineShutdown"}}));
    }
}

// Not a check: holds the dial window, then the timing window, for ORVODIAL_SHOW_SECONDS
// each, for tools/windows-screenshot (run with --gtest_also_run_disabled_tests).
// A later start of the program hands its link over as WM_COPYDATA (main.cpp): the number
// lands in the number box of this dial window; other data is refused and changes nothing.
TEST_F(DialerEndToEnd, LinkFromALaterStart) {
    auto send = [](HWND window, ULONG_PTR tag, const std::string& link) {
        COPYDATASTRUCT data{tag, static_cast<DWORD>(link.size()), const_cast<char*>(link.data())};
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000,
                            &result);
        return result;
    };
    std::vector<std::string> links;
    Run(
        [&](Driver& d) {
            EXPECT_EQ(send(d.dial(), DialForm::kLinkTag, "tel:+1-206-555-1212"),
                      static_cast<DWORD_PTR>(TRUE));
            d.waitNumber("+1-206-555-1212");
            EXPECT_EQ(send(d.dial(), 0x1234, "tel:999"), static_cast<DWORD_PTR>(FALSE)) << "another tag";
            EXPECT_EQ(send(d.dial(), DialForm::kLinkTag, std::string(5000, '5')),
                      static_cast<DWORD_PTR>(FALSE));
            EXPECT_EQ(send(d.dial(), DialForm::kLinkTag, ""), static_cast<DWORD_PTR>(TRUE))
                << "just to the front";
            EXPECT_EQ(d.number(), "+1-206-555-1212");
        },
        [&](DialForm& form) {
            form.SetLinkHandler([&form, &links](const std::string& link) {
                links.push_back(link);
                if (link.rfind("tel:", 0) == 0)
                    form.logic().ReceiveLink(link.substr(4));
                else
                    form.logic().ReceiveLink(std::nullopt);
            });
        });
    EXPECT_EQ(links, (std::vector<std::string>{"tel:+1-206-555-1212", ""}));
}

TEST_F(DialerEndToEnd, DISABLED_ShowForScreenshot) {
    const char* s = std::getenv("ORVODIAL_SHOW_SECONDS");
    const auto hold = std::chrono::seconds(s != nullptr ? std::atoi(s) : 8);
    Run([&](Driver& d) {
        d.type("555-1212", "555-1212");
        std::this_thread::sleep_for(hold);
        d.press(VK_RETURN);
        d.answer(d.messageBox("Time call?", MB_YESNO), IDYES);
        HWND tform = d.timingWindow("555-1212");
        clockOffset = 83;
        std::this_thread::sleep_for(hold);
        PostMessageW(GetDlgItem(tform, IDOK), BM_CLICK, 0, 0);
    });
}

} // namespace
