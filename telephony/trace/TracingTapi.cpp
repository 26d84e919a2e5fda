#include "telephony/trace/TracingTapi.h"

#include <set>
#include <string>

namespace telephony::trace {

namespace {

// What the static callback needs to find its way, shared by every live TracingTapi. It is
// made on first use and never destroyed: a tracer held by some other static may end among
// the exit handlers, in any order, and still erase its routes from here.
struct Registry {
    // Every route of every live TracingTapi: a callback instance is only followed as a
    // route when it is one of these (anything else is an application's own value).
    std::set<const void*> routes;
    // The line application registered last, for messages that belong to no line.
    TracingTapi* lastTracer = nullptr;
    LINECALLBACK lastCallback = nullptr;
};
Registry& Shared() {
    static Registry* const registry = new Registry;
    return *registry;
}

std::string VersionText(DWORD v) {
    return TraceLine("").Version(v).Text().substr(1);
}

} // namespace

TracingTapi::TracingTapi(std::shared_ptr<mTAPIDecs::TapiApi> api, std::unique_ptr<TraceFile> out)
    : ForwardingTapi(std::move(api)), file(std::move(out)) {}

TracingTapi::~TracingTapi() {
    Registry& shared = Shared();
    for (const Route& r : routes)
        shared.routes.erase(&r);
    if (shared.lastTracer == this) {
        shared.lastTracer = nullptr;
        shared.lastCallback = nullptr;
    }
}

void TracingTapi::Note(const std::string& text) {
    file->Write("# " + text);
}

LONG TracingTapi::Write(const TraceLine& line, LONG result) {
    file->Write(line.Result(result));
    return result;
}

void CALLBACK TracingTapi::Deliver(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                                   DWORD_PTR dwParam2, DWORD_PTR dwParam3) {
    const Registry& shared = Shared();
    TracingTapi* tracer = shared.lastTracer;
    LINECALLBACK callback = shared.lastCallback;
    DWORD_PTR instance = dwInstance;
    const auto* route = reinterpret_cast<const Route*>(dwInstance);
    if (dwInstance != 0 && shared.routes.count(route) != 0) {
        tracer = route->tracer;
        callback = route->callback;
        instance = route->instance;
    }
    if (tracer == nullptr || callback == nullptr)
        return;
    tracer->file->Write(MessageLine(hDevice, dwMessage, instance, dwParam1, dwParam2, dwParam3));
    // The callback may release this layer (the last reference to it): nothing after it.
    callback(hDevice, dwMessage, instance, dwParam1, dwParam2, dwParam3);
}

LONG TracingTapi::lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                                    LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                                    LPLINEINITIALIZEEXPARAMS params) {
    const DWORD versionIn = lpdwAPIVersion != nullptr ? *lpdwAPIVersion : 0;
    const LONG result =
        inner->lineInitializeExA(lphLineApp, hInstance, lpfnCallback != nullptr ? &Deliver : nullptr,
                                 lpszFriendlyAppName, lpdwNumDevs, lpdwAPIVersion, params);
    if (result == 0 && lphLineApp != nullptr) {
        appCallbacks[*lphLineApp] = lpfnCallback;
        Shared().lastTracer = this;
        Shared().lastCallback = lpfnCallback;
    }
    TraceLine t("lineInitializeExA");
    t.Out(lphLineApp, result == 0).Ptr(hInstance).Ptr(reinterpret_cast<const void*>(lpfnCallback));
    t.Str(lpszFriendlyAppName).Out(lpdwNumDevs, result == 0);
    t.Raw(lpdwAPIVersion == nullptr
              ? std::string("NULL")
              : "&" + VersionText(versionIn) + (result == 0 ? "->" + VersionText(*lpdwAPIVersion) : ""));
    t.Raw(params == nullptr ? std::string("NULL")
                            : "{size=" + std::to_string(params->dwTotalSize) +
                                  ",options=" + std::to_string(params->dwOptions) + "}");
    return Write(t, result);
}

LONG TracingTapi::lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD low, DWORD high,
                                          LPDWORD lpdwAPIVersion, LPLINEEXTENSIONID lpExtensionID) {
    const LONG result = inner->lineNegotiateAPIVersion(hLineApp, dwDeviceID, low, high, lpdwAPIVersion,
                                                       lpExtensionID);
    TraceLine t("lineNegotiateAPIVersion");
    t.Num(hLineApp).Num(dwDeviceID).Version(low).Version(high);
    t.Raw(lpdwAPIVersion == nullptr ? std::string("NULL")
          : result == 0             ? "&" + VersionText(*lpdwAPIVersion)
                                    : std::string("&"));
    if (lpExtensionID == nullptr || result != 0) {
        t.Raw(lpExtensionID == nullptr ? "NULL" : "&");
    } else {
        t.Raw("&{" + std::to_string(lpExtensionID->dwExtensionID0) + "," +
              std::to_string(lpExtensionID->dwExtensionID1) + "," +
              std::to_string(lpExtensionID->dwExtensionID2) + "," +
              std::to_string(lpExtensionID->dwExtensionID3) + "}");
    }
    return Write(t, result);
}

LONG TracingTapi::lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                                  LPLINEDEVCAPS caps) {
    const DWORD totalIn = caps != nullptr ? caps->dwTotalSize : 0;
    const LONG result = inner->lineGetDevCapsA(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion, caps);
    TraceLine t("lineGetDevCapsA");
    t.Num(hLineApp).Num(dwDeviceID).Version(dwAPIVersion).Version(dwExtVersion);
    if (caps == nullptr)
        t.Raw("NULL");
    else if (result == 0)
        t.Raw("{size=" + std::to_string(totalIn) + ",needed=" + std::to_string(caps->dwNeededSize) +
              ",used=" + std::to_string(caps->dwUsedSize) + "}");
    else
        t.Raw("{size=" + std::to_string(totalIn) + "}");
    return Write(t, result);
}

LONG TracingTapi::lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                           DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                           DWORD dwMediaModes, LPLINECALLPARAMS lpCallParams) {
    // The line's messages come back through a route to the application's own callback and
    // instance; one route per pair, reused by every later open.
    DWORD_PTR instance = dwCallbackInstance;
    if (const auto app = appCallbacks.find(hLineApp); app != appCallbacks.end()) {
        const Route* route = nullptr;
        for (const Route& r : routes)
            if (r.callback == app->second && r.instance == dwCallbackInstance)
                route = &r;
        if (route == nullptr) {
            route = &routes.emplace_back(Route{this, app->second, dwCallbackInstance});
            Shared().routes.insert(route);
        }
        instance = reinterpret_cast<DWORD_PTR>(route);
    }
    const LONG result = inner->lineOpen(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion, instance,
                                        dwPrivileges, dwMediaModes, lpCallParams);
    TraceLine t("lineOpen");
    t.Num(hLineApp).Num(dwDeviceID).Out(lphLine, result == 0).Version(dwAPIVersion).Version(dwExtVersion);
    t.Ptr(reinterpret_cast<const void*>(dwCallbackInstance))
        .Num(dwPrivileges)
        .Num(dwMediaModes)
        .Ptr(lpCallParams);
    return Write(t, result);
}

LONG TracingTapi::lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                                LPLINECALLPARAMS lpCallParams) {
    const LONG result = inner->lineMakeCallA(hLine, lphCall, lpszDestAddress, dwCountryCode, lpCallParams);
    TraceLine t("lineMakeCallA");
    t.Num(hLine)
        .Raw(lphCall == nullptr ? "NULL" : "&")
        .Str(lpszDestAddress)
        .Num(dwCountryCode)
        .Ptr(lpCallParams);
    return Write(t, result);
}

LONG TracingTapi::lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    const LONG result = inner->lineDrop(hCall, lpsUserUserInfo, dwSize);
    return Write(TraceLine("lineDrop").Num(hCall).Ptr(lpsUserUserInfo).Num(dwSize), result);
}

LONG TracingTapi::lineDeallocateCall(HCALL hCall) {
    const LONG result = inner->lineDeallocateCall(hCall);
    return Write(TraceLine("lineDeallocateCall").Num(hCall), result);
}

LONG TracingTapi::lineClose(HLINE hLine) {
    const LONG result = inner->lineClose(hLine);
    return Write(TraceLine("lineClose").Num(hLine), result);
}

LONG TracingTapi::lineShutdown(HLINEAPP hLineApp) {
    const LONG result = inner->lineShutdown(hLineApp);
    if (result == 0)
        appCallbacks.erase(hLineApp);
    return Write(TraceLine("lineShutdown").Num(hLineApp), result);
}

LONG TracingTapi::lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass) {
    const LONG result = inner->lineConfigDialogA(dwDeviceID, hwndOwner, lpszDeviceClass);
    return Write(TraceLine("lineConfigDialogA").Num(dwDeviceID).Ptr(hwndOwner).Str(lpszDeviceClass), result);
}

LONG TracingTapi::lineTranslateDialogA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                                       LPCSTR lpszAddressIn) {
    const LONG result = inner->lineTranslateDialogA(hLineApp, dwDeviceID, dwAPIVersion, hwndOwner, lpszAddressIn);
    TraceLine t("lineTranslateDialogA");
    t.Num(hLineApp).Num(dwDeviceID).Version(dwAPIVersion).Ptr(hwndOwner).Str(lpszAddressIn);
    return Write(t, result);
}

LONG TracingTapi::lineGetIconA(DWORD dwDeviceID, LPCSTR lpszDeviceClass, LPHICON lphIcon) {
    const LONG result = inner->lineGetIconA(dwDeviceID, lpszDeviceClass, lphIcon);
    TraceLine t("lineGetIconA");
    t.Num(dwDeviceID).Str(lpszDeviceClass);
    t.Raw(lphIcon == nullptr ? std::string("NULL")
          : result == 0      ? "&" + TraceLine("").Ptr(*lphIcon).Text().substr(1)
                             : std::string("&"));
    return Write(t, result);
}

BOOL TracingTapi::DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                             UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
    const BOOL drawn =
        inner->DrawIconEx(hdc, xLeft, yTop, hIcon, cxWidth, cyWidth, istepIfAniCur, hbrFlickerFreeDraw, diFlags);
    TraceLine t("DrawIconEx");
    t.Ptr(hdc).Raw(std::to_string(xLeft)).Raw(std::to_string(yTop)).Ptr(hIcon);
    t.Raw(std::to_string(cxWidth)).Raw(std::to_string(cyWidth)).Num(istepIfAniCur).Ptr(hbrFlickerFreeDraw);
    t.Num(diFlags);
    file->Write(t.Result(drawn));
    return drawn;
}

BOOL TracingTapi::DestroyIcon(HICON hIcon) {
    const BOOL destroyed = inner->DestroyIcon(hIcon);
    file->Write(TraceLine("DestroyIcon").Ptr(hIcon).Result(destroyed));
    return destroyed;
}

std::shared_ptr<mTAPIDecs::TapiApi> TracedFromEnvironment(std::shared_ptr<mTAPIDecs::TapiApi> api) {
    std::unique_ptr<TraceFile> file = TraceFile::FromEnvironment();
    if (!file)
        return api;
    return std::make_shared<TracingTapi>(std::move(api), std::move(file));
}

} // namespace telephony::trace
