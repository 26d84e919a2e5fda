// mTAPIDecs: the telephony API as the line object sees it.
//
// Brings in the telephony vocabulary (telephony/tapi: the TAPI types, structures and
// constants, the line error codes, the API versions) and declares the seam TapiApi: one
// member per telephony operation the line object calls, plus the two icon functions; and
// ForwardingTapi, a layer that passes each of them on unchanged. A CvbTAPILine is
// constructed on one implementation of TapiApi; SystemTapi() returns the system's own (the
// real DLLs on Windows, the local telephony service elsewhere). This header holds no logic
// beyond that passing on, and does not know which implementation runs.
#pragma once

#include "telephony/tapi/LineErrors.h"
#include "telephony/tapi/Types.h"
#include "telephony/tapi/Versions.h"

#include <memory>
#include <string>
#include <utility>

namespace mTAPIDecs {

// Size of the capability buffer the line object hands to lineGetDevCapsA.
constexpr DWORD kDevCapsBufferSize = 2301;

// The operations through which the line object reaches the system's telephony, with the
// published signatures of their ANSI forms. Implementations: the real DLLs (Windows), the
// local telephony service (elsewhere), and test doubles.
class TapiApi {
  public:
    virtual ~TapiApi() = default;

    virtual LONG lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                                   LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                                   LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) = 0;
    virtual LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                         DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                         LPLINEEXTENSIONID lpExtensionID) = 0;
    virtual LONG lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                                 LPLINEDEVCAPS lpLineDevCaps) = 0;
    virtual LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                          DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                          DWORD dwMediaModes, LPLINECALLPARAMS lpCallParams) = 0;
    virtual LONG lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                               LPLINECALLPARAMS lpCallParams) = 0;
    virtual LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) = 0;
    virtual LONG lineDeallocateCall(HCALL hCall) = 0;
    virtual LONG lineClose(HLINE hLine) = 0;
    virtual LONG lineShutdown(HLINEAPP hLineApp) = 0;
    virtual LONG lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass) = 0;
    virtual LONG lineTranslateDialogA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                                      LPCSTR lpszAddressIn) = 0;
    virtual LONG lineGetIconA(DWORD dwDeviceID, LPCSTR lpszDeviceClass, LPHICON lphIcon) = 0;

    virtual BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                            UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags) = 0;
    virtual BOOL DestroyIcon(HICON hIcon) = 0;

    // Why the device's last open or call failed, in words for the user, when the telephony
    // knows more than the error code says (the local service's driver: "no such port
    // /dev/ttyACM0 (is the modem plugged in?)"); empty otherwise, as from the system's
    // TAPI. Never holds a password.
    virtual std::string FailureReason(DWORD dwDeviceID) {
        (void)dwDeviceID;
        return {};
    }
};

// A layer over another implementation of the seam that passes every operation on
// unchanged: a tracer, a bench's stopwatch or a test's spy overrides only what it watches.
class ForwardingTapi : public TapiApi {
  public:
    explicit ForwardingTapi(std::shared_ptr<TapiApi> next) : inner(std::move(next)) {}

    LONG lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                           LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                           LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) override {
        return inner->lineInitializeExA(lphLineApp, hInstance, lpfnCallback, lpszFriendlyAppName, lpdwNumDevs,
                                        lpdwAPIVersion, lpLineInitializeExParams);
    }
    LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                 DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                 LPLINEEXTENSIONID lpExtensionID) override {
        return inner->lineNegotiateAPIVersion(hLineApp, dwDeviceID, dwAPILowVersion, dwAPIHighVersion,
                                              lpdwAPIVersion, lpExtensionID);
    }
    LONG lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                         LPLINEDEVCAPS lpLineDevCaps) override {
        return inner->lineGetDevCapsA(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion, lpLineDevCaps);
    }
    LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                  DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
                  LPLINECALLPARAMS lpCallParams) override {
        return inner->lineOpen(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion, dwCallbackInstance,
                               dwPrivileges, dwMediaModes, lpCallParams);
    }
    LONG lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                       LPLINECALLPARAMS lpCallParams) override {
        return inner->lineMakeCallA(hLine, lphCall, lpszDestAddress, dwCountryCode, lpCallParams);
    }
    LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) override {
        return inner->lineDrop(hCall, lpsUserUserInfo, dwSize);
    }
    LONG lineDeallocateCall(HCALL hCall) override { return inner->lineDeallocateCall(hCall); }
    LONG lineClose(HLINE hLine) override { return inner->lineClose(hLine); }
    LONG lineShutdown(HLINEAPP hLineApp) override { return inner->lineShutdown(hLineApp); }
    LONG lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass) override {
        return inner->lineConfigDialogA(dwDeviceID, hwndOwner, lpszDeviceClass);
    }
    LONG lineTranslateDialogA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                              LPCSTR lpszAddressIn) override {
        return inner->lineTranslateDialogA(hLineApp, dwDeviceID, dwAPIVersion, hwndOwner, lpszAddressIn);
    }
    LONG lineGetIconA(DWORD dwDeviceID, LPCSTR lpszDeviceClass, LPHICON lphIcon) override {
        return inner->lineGetIconA(dwDeviceID, lpszDeviceClass, lphIcon);
    }
    BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT istepIfAniCur,
                    HBRUSH hbrFlickerFreeDraw, UINT diFlags) override {
        return inner->DrawIconEx(hdc, xLeft, yTop, hIcon, cxWidth, cyWidth, istepIfAniCur, hbrFlickerFreeDraw,
                                 diFlags);
    }
    BOOL DestroyIcon(HICON hIcon) override { return inner->DestroyIcon(hIcon); }
    std::string FailureReason(DWORD dwDeviceID) override { return inner->FailureReason(dwDeviceID); }

  protected:
    std::shared_ptr<TapiApi> inner;
};

// The system's telephony: on Windows the real tapi32.dll and user32.dll; elsewhere the
// local telephony service. Defined by the library that provides it (telephony on
// Windows, localtapi elsewhere), so a program that uses it links that library.
std::shared_ptr<TapiApi> SystemTapi();

// Ends the system's telephony as this process holds it (the trace layer, and where the
// process runs its own telephony service, that service with its lines): called by the
// program once its windows and line objects are gone, so that nothing of it is left for
// the exit handlers. A later SystemTapi() starts afresh.
void EndSystemTapi();

// Calls EndSystemTapi() when the scope ends: declared in main before the windows, so that
// every way out of main ends the windows first and then the telephony.
struct SystemTapiScope {
    SystemTapiScope() = default;
    SystemTapiScope(const SystemTapiScope&) = delete;
    SystemTapiScope& operator=(const SystemTapiScope&) = delete;
    ~SystemTapiScope() { EndSystemTapi(); }
};

// The application's instance handle passed to lineInitializeExA (null where the system
// has no such notion).
HINSTANCE ApplicationInstance();

} // namespace mTAPIDecs
