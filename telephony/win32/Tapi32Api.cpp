// The system's telephony on Windows: every member of the TapiApi seam forwards to the
// ANSI entry point of the same name in tapi32.dll, and the two icon functions to
// user32.dll, with <tapi.h>'s own types and arguments passed through unchanged.
//
// It adds no behaviour of its own (the trace, when asked for, is a layer on top): no checks, no conversions (the line object already
// hands over ANSI text), no state. The line application is registered by the line object
// with the hidden-window option, so tapi32 calls the line callback from whatever message
// loop the registering thread runs: the main loop, a message box or a modal window.
#include "telephony/mTAPIDecs.h"
#include "telephony/trace/TracingTapi.h"

namespace mTAPIDecs {

namespace {

class Tapi32Api final : public TapiApi {
  public:
    LONG lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                           LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                           LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) override {
        return ::lineInitializeExA(lphLineApp, hInstance, lpfnCallback, lpszFriendlyAppName, lpdwNumDevs,
                                   lpdwAPIVersion, lpLineInitializeExParams);
    }
    LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                 DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                 LPLINEEXTENSIONID lpExtensionID) override {
        return ::lineNegotiateAPIVersion(hLineApp, dwDeviceID, dwAPILowVersion, dwAPIHighVersion,
                                         lpdwAPIVersion, lpExtensionID);
    }
    LONG lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                         LPLINEDEVCAPS lpLineDevCaps) override {
        return ::lineGetDevCapsA(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion, lpLineDevCaps);
    }
    LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                  DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
                  LPLINECALLPARAMS lpCallParams) override {
        return ::lineOpen(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion, dwCallbackInstance,
                          dwPrivileges, dwMediaModes, lpCallParams);
    }
    LONG lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                       LPLINECALLPARAMS lpCallParams) override {
        return ::lineMakeCallA(hLine, lphCall, lpszDestAddress, dwCountryCode, lpCallParams);
    }
    LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) override {
        return ::lineDrop(hCall, lpsUserUserInfo, dwSize);
    }
    LONG lineDeallocateCall(HCALL hCall) override { return ::lineDeallocateCall(hCall); }
    LONG lineClose(HLINE hLine) override { return ::lineClose(hLine); }
    LONG lineShutdown(HLINEAPP hLineApp) override { return ::lineShutdown(hLineApp); }
    LONG lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass) override {
        return ::lineConfigDialogA(dwDeviceID, hwndOwner, lpszDeviceClass);
    }
    LONG lineTranslateDialogA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                              LPCSTR lpszAddressIn) override {
        return ::lineTranslateDialogA(hLineApp, dwDeviceID, dwAPIVersion, hwndOwner, lpszAddressIn);
    }
    LONG lineGetIconA(DWORD dwDeviceID, LPCSTR lpszDeviceClass, LPHICON lphIcon) override {
        return ::lineGetIconA(dwDeviceID, lpszDeviceClass, lphIcon);
    }
    BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT istepIfAniCur,
                    HBRUSH hbrFlickerFreeDraw, UINT diFlags) override {
        return ::DrawIconEx(hdc, xLeft, yTop, hIcon, cxWidth, cyWidth, istepIfAniCur, hbrFlickerFreeDraw,
                            diFlags);
    }
    BOOL DestroyIcon(HICON hIcon) override { return ::DestroyIcon(hIcon); }
};

} // namespace

namespace {

// One binding for the whole process: it holds no state, so sharing it is free. Held through
// a pointer that is never destroyed, and emptied by EndSystemTapi, so that no exit handler
// ends the trace.
std::shared_ptr<TapiApi>& SystemBinding() {
    static auto* const api = new std::shared_ptr<TapiApi>;
    return *api;
}

} // namespace

std::shared_ptr<TapiApi> SystemTapi() {
    // With ORVODIAL_TAPI_TRACE set, every call and message goes through the trace.
    std::shared_ptr<TapiApi>& api = SystemBinding();
    if (!api)
        api = telephony::trace::TracedFromEnvironment(std::make_shared<Tapi32Api>());
    return api;
}

void EndSystemTapi() {
    SystemBinding().reset();
}

} // namespace mTAPIDecs
