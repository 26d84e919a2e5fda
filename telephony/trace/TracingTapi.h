// TracingTapi: the telephony trace, as a layer over any implementation of the seam.
//
// Forwards every operation of mTAPIDecs::TapiApi unchanged to the implementation it wraps
// (tapi32.dll on Windows, the local telephony service elsewhere, a test double) and writes
// one line per operation (its arguments, what it stored through its output pointers, its
// result) and one per message at the moment the message reaches the application's
// callback. The line format is TraceLine's.
//
// To see the messages, lineInitializeExA hands the wrapped implementation a callback of
// this layer, and lineOpen a callback instance of its own, a route that leads back to the
// application's callback and instance; the application sees its own values only. A
// message that belongs to no open line goes to the callback of the line application
// registered last (the program registers one).
//
// What it does not do: no filtering, no change to any argument or result, no threads;
// it is used from the thread that uses the telephony API.
#pragma once

#include "telephony/mTAPIDecs.h"
#include "telephony/trace/TraceLine.h"

#include <deque>
#include <map>
#include <memory>

namespace telephony::trace {

class TracingTapi final : public mTAPIDecs::ForwardingTapi {
  public:
    TracingTapi(std::shared_ptr<mTAPIDecs::TapiApi> inner, std::unique_ptr<TraceFile> file);
    ~TracingTapi() override;
    TracingTapi(const TracingTapi&) = delete;
    TracingTapi& operator=(const TracingTapi&) = delete;

    LONG lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                           LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                           LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) override;
    LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                 DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                 LPLINEEXTENSIONID lpExtensionID) override;
    LONG lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                         LPLINEDEVCAPS lpLineDevCaps) override;
    LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                  DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
                  LPLINECALLPARAMS lpCallParams) override;
    LONG lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                       LPLINECALLPARAMS lpCallParams) override;
    LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) override;
    LONG lineDeallocateCall(HCALL hCall) override;
    LONG lineClose(HLINE hLine) override;
    LONG lineShutdown(HLINEAPP hLineApp) override;
    LONG lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass) override;
    LONG lineTranslateDialogA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                              LPCSTR lpszAddressIn) override;
    LONG lineGetIconA(DWORD dwDeviceID, LPCSTR lpszDeviceClass, LPHICON lphIcon) override;
    BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT istepIfAniCur,
                    HBRUSH hbrFlickerFreeDraw, UINT diFlags) override;
    BOOL DestroyIcon(HICON hIcon) override;
    // FailureReason is passed on untraced: it asks for words, it changes nothing.

    // A remark of the telephony below (a line driver's step), as "# <text>".
    void Note(const std::string& text);

  private:
    struct Route {
        TracingTapi* tracer;
        LINECALLBACK callback;
        DWORD_PTR instance;
    };
    static void CALLBACK Deliver(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                                 DWORD_PTR dwParam2, DWORD_PTR dwParam3);
    LONG Write(const TraceLine& line, LONG result);

    std::unique_ptr<TraceFile> file;
    std::map<HLINEAPP, LINECALLBACK> appCallbacks;
    std::deque<Route> routes; // stable addresses: they travel as callback instances
};

// The implementation itself when ORVODIAL_TAPI_TRACE is unset or empty, else a
// TracingTapi over it writing to that file ("-": standard error).
std::shared_ptr<mTAPIDecs::TapiApi> TracedFromEnvironment(std::shared_ptr<mTAPIDecs::TapiApi> api);

} // namespace telephony::trace
