// The handle tables and the line and call operations of the local telephony service.
// Construction, device loading, the dialogs and the icons are in LocalTapiDevices.cpp.
#include "localtapi/LocalTapi.h"

#include "localtapi/Checks.h"
#include "localtapi/DevCaps.h"
#include "localtapi/DialingRules.h"

namespace localtapi {

namespace {

constexpr DWORD kLastRequestId = 0x7FFFFFFF;

// The reply message of a request.
Message Reply(DWORD_PTR instance, RequestId id, LONG result) {
    Message m;
    m.message = LINE_REPLY;
    m.instance = instance;
    m.p1 = id;
    m.p2 = static_cast<DWORD>(result);
    return m;
}

// A driver's answer as the application may see it: 0, a request ID, or a LINEERR; a
// positive one where a request ID cannot be (a driver fault) becomes OPERATIONFAILED.
LONG FromDriver(LONG result) {
    return result > 0 ? LINEERR_OPERATIONFAILED : result;
}

} // namespace

LONG LocalTapi::CheckDevice(DWORD deviceID) const {
    if (deviceID >= devices.size())
        return LINEERR_BADDEVICEID;
    if (devices[deviceID]->removed)
        return LINEERR_NODEVICE;
    return 0;
}

LocalTapi::Line* LocalTapi::FindLine(HLINE h) {
    const auto it = lines.find(h);
    return it == lines.end() ? nullptr : &it->second;
}

LocalTapi::Call* LocalTapi::FindCall(HCALL h) {
    const auto it = calls.find(h);
    return it == calls.end() ? nullptr : &it->second;
}

LONG LocalTapi::NewRequest(const Request& request, RequestId& id) {
    if (nextRequest > kLastRequestId)
        return LINEERR_RESOURCEUNAVAIL;
    id = nextRequest++;
    Request r = request;
    r.id = id;
    requests.emplace(id, r);
    return 0;
}

// ---- Driver reports ----

void LocalTapi::OnRequestCompleted(DWORD device, RequestId id, LONG result) {
    const auto it = requests.find(id);
    if (it == requests.end())
        return;
    const Request request = it->second;
    const Line* line = FindLine(request.line);
    if (line == nullptr || line->device != device)
        return;
    requests.erase(it);
    result = FromDriver(result); // a reply is 0 or negative
    Message m = Reply(line->instance, id, result);
    if (request.makeCall) {
        if (result == 0) {
            if (Call* call = FindCall(request.call))
                call->established = true;
            m.writeCall = request.writeTo;
            m.callHandle = request.call;
            m.call = request.call;
        } else {
            calls.erase(request.call);
            devices[device]->driver->ReleaseCall(request.call);
        }
    }
    Post(request.app, m);
}

void LocalTapi::OnCallState(DWORD device, CallId id, DWORD state, DWORD mode) {
    Call* call = FindCall(id);
    if (call == nullptr || call->device != device || !call->established)
        return;
    const Line* line = FindLine(call->line);
    if (line == nullptr)
        return;
    call->state = state;
    if (state == LINECALLSTATE_DISCONNECTED)
        NoteDisconnect(*devices[device], mode);
    const DWORD privilege = call->privilegeSent ? 0 : LINECALLPRIVILEGE_OWNER;
    call->privilegeSent = true;
    Post(line->app,
         Message{.hDevice = id, .message = LINE_CALLSTATE, .instance = line->instance, .p1 = state, .p2 = mode,
                 .p3 = privilege, .line = line->handle, .call = id, .writeCall = nullptr, .callHandle = 0});
}

void LocalTapi::OnLineDevState(DWORD device, DWORD state, DWORD p2, DWORD p3) {
    for (HLINE h : devices[device]->openLines) {
        const Line& line = lines.at(h);
        Post(line.app, Message{.hDevice = h, .message = LINE_LINEDEVSTATE, .instance = line.instance, .p1 = state,
                               .p2 = p2, .p3 = p3, .line = h, .call = 0, .writeCall = nullptr, .callHandle = 0});
    }
}

void LocalTapi::OnDeviceRemoved(DWORD device) {
    Device& d = *devices[device];
    d.removed = true;
    while (!d.openLines.empty())
        CloseLine(*d.openLines.begin(), true);
}

// ---- Ending lines, applications and calls ----

// Closes a line: outstanding requests answered, other messages of the line dropped, calls
// released; the device closed with its last line. With deviceGone the application is
// told by LINE_CLOSE.
void LocalTapi::CloseLine(HLINE h, bool deviceGone) {
    const auto lineIt = lines.find(h);
    if (lineIt == lines.end())
        return;
    const Line line = lineIt->second;
    Device& device = *devices[line.device];

    // A device that went away leaves its last words queued (the call disconnected, then
    // idle) ahead of LINE_CLOSE; a line the application closes hears nothing more.
    if (!deviceGone)
        delivery.Discard(line.app, [&](const Message& m) { return m.line == h && m.message != LINE_REPLY; });
    std::vector<Request> outstanding;
    for (auto it = requests.begin(); it != requests.end();) {
        if (it->second.line == h) {
            outstanding.push_back(it->second);
            it = requests.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = calls.begin(); it != calls.end();) {
        if (it->second.line == h) {
            device.driver->ReleaseCall(it->first);
            it = calls.erase(it);
        } else {
            ++it;
        }
    }
    lines.erase(lineIt);
    device.openLines.erase(h);
    if (device.openLines.empty())
        device.driver->Close();

    for (const Request& r : outstanding)
        Post(line.app, Reply(line.instance, r.id, r.makeCall ? LINEERR_OPERATIONFAILED : 0));
    if (deviceGone)
        Post(line.app, Message{.hDevice = h, .message = LINE_CLOSE, .instance = line.instance, .p1 = 0, .p2 = 0,
                               .p3 = 0, .line = 0, .call = 0, .writeCall = nullptr, .callHandle = 0});
    ApplyPendingSettings(device);
}

void LocalTapi::ShutdownApp(HLINEAPP h) {
    if (!HasApp(h))
        return;
    std::vector<HLINE> own;
    for (const auto& [handle, line] : lines)
        if (line.app == h)
            own.push_back(handle);
    for (HLINE l : own)
        CloseLine(l, false);
    for (auto it = requests.begin(); it != requests.end();)
        it = it->second.app == h ? requests.erase(it) : std::next(it);
    apps.erase(h);
    delivery.Remove(h);
}

// The application lets go of a call: its queued states are dropped, a drop still
// outstanding on it is answered now (the call it was for is gone), the driver stops.
void LocalTapi::ForgetCall(HCALL h) {
    const Call call = calls.at(h);
    const Line& line = lines.at(call.line);
    delivery.Discard(line.app, [&](const Message& m) { return m.call == h && m.message == LINE_CALLSTATE; });
    std::vector<RequestId> outstanding;
    for (const auto& [id, request] : requests)
        if (request.call == h && !request.makeCall)
            outstanding.push_back(id);
    for (RequestId id : outstanding) {
        requests.erase(id);
        Post(line.app, Reply(line.instance, id, 0));
    }
    devices[call.device]->driver->ReleaseCall(h);
    calls.erase(h);
}

// ---- Operations ----

LONG LocalTapi::lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback,
                                  LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                                  LPLINEINITIALIZEEXPARAMS params) {
    Operation op(delivery);
    if (lphLineApp == nullptr || lpdwNumDevs == nullptr || lpdwAPIVersion == nullptr || params == nullptr)
        return LINEERR_INVALPOINTER;
    if (params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS))
        return LINEERR_STRUCTURETOOSMALL;
    if (params->dwOptions == LINEINITIALIZEEXOPTION_USEEVENT ||
        params->dwOptions == LINEINITIALIZEEXOPTION_USECOMPLETIONPORT)
        return LINEERR_OPERATIONUNAVAIL; // only the hidden-window option is offered here
    if (params->dwOptions != LINEINITIALIZEEXOPTION_USEHIDDENWINDOW)
        return LINEERR_INVALPARAM;
    if (lpfnCallback == nullptr)
        return LINEERR_INVALPOINTER;
    if (*lpdwAPIVersion < telephony::tapi::kVersion2_0) // lineInitializeEx came with 2.0
        return LINEERR_INCOMPATIBLEAPIVERSION;
    const HLINEAPP app = NewHandle();
    if (!delivery.Add(app, lpfnCallback))
        return LINEERR_OPERATIONFAILED; // no event loop to deliver messages through
    apps.emplace(app, lpszFriendlyAppName != nullptr ? lpszFriendlyAppName : "");
    *lphLineApp = app;
    *lpdwNumDevs = static_cast<DWORD>(devices.size());
    *lpdwAPIVersion = kServiceVersion;
    params->dwNeededSize = sizeof(LINEINITIALIZEEXPARAMS);
    params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
    return 0;
}

LONG LocalTapi::lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD low, DWORD high,
                                        LPDWORD lpdwAPIVersion, LPLINEEXTENSIONID lpExtensionID) {
    Operation op(delivery);
    if (!HasApp(hLineApp))
        return LINEERR_INVALAPPHANDLE;
    if (LONG r = CheckDevice(dwDeviceID))
        return r;
    if (lpdwAPIVersion == nullptr || lpExtensionID == nullptr)
        return LINEERR_INVALPOINTER;
    const DeviceCaps& caps = devices[dwDeviceID]->caps;
    DWORD version = 0;
    if (LONG r = NegotiateVersion(low, high, caps, version))
        return r;
    *lpdwAPIVersion = version;
    *lpExtensionID = caps.highExtVersion != 0 ? caps.extensionID : LINEEXTENSIONID{};
    return 0;
}

LONG LocalTapi::lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                                LPLINEDEVCAPS caps) {
    Operation op(delivery);
    if (!HasApp(hLineApp))
        return LINEERR_INVALAPPHANDLE;
    if (LONG r = CheckDevice(dwDeviceID))
        return r;
    const DeviceCaps& dc = devices[dwDeviceID]->caps;
    if (LONG r = CheckDeviceVersion(dwAPIVersion, dc))
        return r;
    if (LONG r = CheckExtVersion(dwExtVersion, dc))
        return r;
    if (caps == nullptr)
        return LINEERR_INVALPOINTER;
    return WriteDevCaps(dc, dwAPIVersion, *caps);
}

LONG LocalTapi::lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                         DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
                         LPLINECALLPARAMS) {
    Operation op(delivery);
    if (!HasApp(hLineApp))
        return LINEERR_INVALAPPHANDLE;
    // A device that went away is asked again: it may have come back.
    if (LONG r = CheckDevice(dwDeviceID); r != 0 && r != LINEERR_NODEVICE)
        return r;
    if (lphLine == nullptr)
        return LINEERR_INVALPOINTER;
    Device& device = *devices[dwDeviceID];
    if (LONG r = CheckDeviceVersion(dwAPIVersion, device.caps))
        return r;
    if (LONG r = CheckExtVersion(dwExtVersion, device.caps))
        return r;
    if (LONG r = CheckPrivileges(dwPrivileges, dwMediaModes, device.caps))
        return r;
    if (device.opening)
        return LINEERR_RESOURCEUNAVAIL; // another open of the device is still under way
    if (device.openLines.empty()) {
        const bool wasRemoved = device.removed;
        device.removed = false;
        device.opening = true;
        device.failure.clear();
        const LONG opened = device.driver->Open(*device.sink);
        device.opening = false;
        if (opened != 0) {
            device.removed = device.removed || (wasRemoved && opened == LINEERR_NODEVICE);
            ApplyPendingSettings(device);
            return FromDriver(opened);
        }
        if (!HasApp(hLineApp) || device.removed) {
            // Shut down or unplugged while the device was opening.
            device.driver->Close();
            ApplyPendingSettings(device);
            return device.removed ? LINEERR_NODEVICE : LINEERR_INVALAPPHANDLE;
        }
    }
    Line line;
    line.handle = NewHandle();
    line.app = hLineApp;
    line.device = dwDeviceID;
    line.instance = dwCallbackInstance;
    line.version = dwAPIVersion;
    lines.emplace(line.handle, line);
    device.openLines.insert(line.handle);
    *lphLine = line.handle;
    return 0;
}

LONG LocalTapi::lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD, LPLINECALLPARAMS) {
    Operation op(delivery);
    const Line* line = FindLine(hLine);
    if (line == nullptr)
        return LINEERR_INVALLINEHANDLE;
    if (lphCall == nullptr)
        return LINEERR_INVALPOINTER;
    Device& device = *devices[line->device];
    const char* dest = lpszDestAddress;
    std::string translated;
    if (dest != nullptr) {
        if (LONG r = CheckAddress(dest, device.caps.devCapFlags))
            return r;
        if (*dest == '\0')
            dest = nullptr; // no digits: the call stays in dial tone
    }
    if (dest != nullptr && InInternationalForm(dest)) {
        const DriverInfo* info = registry.Find(device.settings.driver);
        if (info == nullptr || info->dialsDigits) {
            translated = TranslateAddress(dest, config.location);
            dest = translated.c_str();
        }
    }
    Call call;
    call.handle = NewHandle();
    call.line = hLine;
    call.device = line->device;
    Request request;
    request.app = line->app;
    request.line = hLine;
    request.call = call.handle;
    request.makeCall = true;
    request.writeTo = lphCall;
    RequestId id = 0;
    if (LONG r = NewRequest(request, id))
        return r;
    calls.emplace(call.handle, call);
    device.failure.clear();
    if (LONG r = device.driver->MakeCall(id, call.handle, dest)) {
        requests.erase(id);
        calls.erase(call.handle);
        return FromDriver(r);
    }
    return static_cast<LONG>(id);
}

LONG LocalTapi::lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    Operation op(delivery);
    Call* call = FindCall(hCall);
    if (call == nullptr || !call->established)
        return LINEERR_INVALCALLHANDLE;
    if (lpsUserUserInfo != nullptr && dwSize > 0)
        return LINEERR_USERUSERINFOTOOBIG; // the devices carry no user-user information
    if (call->state == LINECALLSTATE_IDLE)
        return LINEERR_INVALCALLSTATE;
    const Line& line = lines.at(call->line);
    Request request;
    request.app = line.app;
    request.line = line.handle;
    request.call = hCall;
    RequestId id = 0;
    if (LONG r = NewRequest(request, id))
        return r;
    if (LONG r = devices[call->device]->driver->Drop(id, hCall)) {
        requests.erase(id);
        return FromDriver(r);
    }
    return static_cast<LONG>(id);
}

LONG LocalTapi::lineDeallocateCall(HCALL hCall) {
    Operation op(delivery);
    const Call* call = FindCall(hCall);
    if (call == nullptr || !call->established)
        return LINEERR_INVALCALLHANDLE;
    // Below 2.0 the one owner may not let go of a live call; from 2.0 on it may, and the
    // call is dropped.
    if (call->state != LINECALLSTATE_IDLE && lines.at(call->line).version < telephony::tapi::kVersion2_0)
        return LINEERR_INVALCALLSTATE;
    ForgetCall(hCall);
    return 0;
}

LONG LocalTapi::lineClose(HLINE hLine) {
    Operation op(delivery);
    if (FindLine(hLine) == nullptr)
        return LINEERR_INVALLINEHANDLE;
    CloseLine(hLine, false);
    return 0;
}

LONG LocalTapi::lineShutdown(HLINEAPP hLineApp) {
    Operation op(delivery);
    if (!HasApp(hLineApp))
        return LINEERR_INVALAPPHANDLE;
    ShutdownApp(hLineApp);
    return 0;
}

} // namespace localtapi
