#include "ui/win32/MessagePump.h"

#include "ui/win32/Win32Text.h"

#include "ui/AppInfo.h"
#include "telephony/RuntimeError.h"

#include <algorithm>
#include <vector>

namespace ui::win32 {

namespace {

struct Registered {
    HWND window;
    KeyPreview preview;
};

// One user-interface thread: the registry needs no lock.
std::vector<Registered>& Windows() {
    static std::vector<Registered> windows;
    return windows;
}

bool Within(HWND top, HWND target) {
    return target == top || IsChild(top, target);
}

} // namespace

void RegisterWindow(HWND window, KeyPreview preview) {
    UnregisterWindow(window);
    Windows().push_back({window, std::move(preview)});
}

void UnregisterWindow(HWND window) {
    auto& windows = Windows();
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const Registered& r) { return r.window == window; }),
                  windows.end());
}

void PumpMessage(MSG& msg) {
    // Copy: a handler run below may register or unregister windows.
    const std::vector<Registered> windows = Windows();
    for (const Registered& r : windows) {
        if (msg.hwnd == nullptr || !Within(r.window, msg.hwnd))
            continue;
        if (msg.message == WM_CHAR && r.preview) {
            const wchar_t k = r.preview(static_cast<wchar_t>(msg.wParam));
            if (k == 0)
                return;
            msg.wParam = k;
        }
        if (IsDialogMessageW(r.window, &msg))
            return;
        break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int RunMessageLoop() {
    MSG msg{};
    for (;;) {
        const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0)
            return static_cast<int>(msg.wParam);
        if (r == -1)
            return 1;
        PumpMessage(msg);
    }
}

bool RunModalLoop(const std::function<bool()>& keepGoing) {
    MSG msg{};
    while (keepGoing()) {
        const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (r == -1)
            return false;
        PumpMessage(msg);
    }
    return true;
}

void ShowRuntimeError(const RuntimeError& error, HWND owner, const std::string& explanation) {
    const std::string message = RuntimeErrorMessage(error);
    MessageBoxW(owner, Widen(explanation.empty() ? message : message + "\n\n" + explanation).c_str(),
                Widen(kAppTitle).c_str(), MB_OK | MB_ICONERROR);
}

bool RunHandler(const std::function<void()>& handler, HWND owner) {
    try {
        handler();
        return true;
    } catch (const RuntimeError& error) {
        ShowRuntimeError(error, owner);
        PostQuitMessage(error.number());
        return false;
    }
}

} // namespace ui::win32
