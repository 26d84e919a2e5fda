// OrvoDial.exe started on a system without any telephone line device (Wine's tapi32
// reports none): it must show the run-time error 380 message titled "OrvoDial", never
// show the dial window, and end with a non-zero exit code once the message is closed.
//
// The check watches the program's windows from outside, as a user would see them: it
// polls the top-level windows of the started process, reads the message box's text,
// presses its OK button and waits for the process to end.
#include "WindowsTestMain.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(60);
constexpr auto kExitTimeout = std::chrono::seconds(20);
constexpr auto kPollInterval = std::chrono::milliseconds(20);
// The static text control that holds a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;

std::wstring WindowText(HWND window) {
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

std::wstring ClassName(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

std::string Ascii(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

struct Seen {
    DWORD processId;
    HWND messageBox = nullptr;
    bool dialWindowVisible = false;
};

BOOL CALLBACK Look(HWND window, LPARAM param) {
    auto* seen = reinterpret_cast<Seen*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != seen->processId || !IsWindowVisible(window))
        return TRUE;
    const std::wstring title = WindowText(window);
    if (title == L"Orvo Dial")
        seen->dialWindowVisible = true;
    if (ClassName(window) == L"#32770" && title == L"OrvoDial")
        seen->messageBox = window;
    return TRUE;
}

TEST(Startup, WithoutLineDeviceShowsError380AndEnds) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + ProgramUnderTest() + L"\"";
    ASSERT_TRUE(CreateProcessW(ProgramUnderTest().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process))
        << "cannot start the program, error " << GetLastError();

    Seen seen{process.dwProcessId};
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (seen.messageBox == nullptr && std::chrono::steady_clock::now() < deadline &&
           WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        EnumWindows(Look, reinterpret_cast<LPARAM>(&seen));
        std::this_thread::sleep_for(kPollInterval);
    }
    ASSERT_NE(seen.messageBox, nullptr) << "no message box titled OrvoDial appeared";

    const std::string text = Ascii(WindowText(GetDlgItem(seen.messageBox, kMessageBoxTextId)));
    EXPECT_NE(text.find("380"), std::string::npos) << text;
    EXPECT_NE(text.find("Invalid property value"), std::string::npos) << text;
    HWND ok = GetDlgItem(seen.messageBox, IDOK);
    ASSERT_NE(ok, nullptr) << "the message has an OK button";
    EXPECT_EQ(GetDlgItem(seen.messageBox, IDYES), nullptr);

    // Still no dial window while the message is up; then close the message.
    EnumWindows(Look, reinterpret_cast<LPARAM>(&seen));
    PostMessageW(ok, BM_CLICK, 0, 0);

    const auto exitWait = std::chrono::duration_cast<std::chrono::milliseconds>(kExitTimeout).count();
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(exitWait)) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, 99);
    EXPECT_NE(exitCode, static_cast<DWORD>(STILL_ACTIVE)) << "the program did not end after the message";
    EXPECT_EQ(exitCode, 380u) << "the exit code is the error number";
    EXPECT_FALSE(seen.dialWindowVisible) << "the dial window must never be shown";

    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace
