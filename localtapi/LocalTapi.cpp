#include "LocalTapi.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <iostream>

namespace localtapi {

namespace {

constexpr DWORD kLINEDEVCAPFLAGS_DIALBILLING = 0x00000040;
constexpr DWORD kLINEDEVCAPFLAGS_DIALQUIET = 0x00000080;
constexpr DWORD kLINEDEVCAPFLAGS_DIALDIALTONE = 0x00000100;
constexpr DWORD kAllMediaModes = 0x00007FFE;
constexpr DWORD kLastRequestId = 0x7FFFFFFF;
constexpr DWORD kFirstTranslateVersion = 0x00010004; // lineTranslateDialog came with 1.4
constexpr DWORD kFirstInitializeExVersion = 0x00020000;
constexpr int kDefaultIconSize = 32;

// The fixed part of LINEDEVCAPS for an API version: later versions appended fields.
DWORD DevCapsFixedSize(DWORD version) {
    if (version < 0x00010004)
        return offsetof(LINEDEVCAPS, dwLineFeatures);
    if (version < 0x00020000)
        return offsetof(LINEDEVCAPS, dwSettableDevStatus);
    if (version < 0x00020002)
        return offsetof(LINEDEVCAPS, PermanentLineGuid);
    if (version < 0x00030000)
        return offsetof(LINEDEVCAPS, dwAddressTypes);
    return sizeof(LINEDEVCAPS);
}

bool ValidPrivileges(DWORD p) {
    if (p == LINECALLPRIVILEGE_NONE)
        return true;
    return p != 0 && (p & ~(LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER)) == 0;
}

// TAPI's dialable address characters; the dial modifiers that need a device capability
// are refused with their own codes when the device lacks it.
LONG CheckAddress(const char* address, DWORD devCapFlags) {
    static constexpr std::string_view kDialable = "0123456789ABCDabcd*#!PpTtWw,@$?;+ ()-.|^";
    for (const char* c = address; *c != '\0'; ++c) {
        if (kDialable.find(*c) == std::string_view::npos)
            return LINEERR_INVALADDRESS;
    }
    for (const char* c = address; *c != '\0'; ++c) {
        if (*c == '?')
            return LINEERR_DIALPROMPT;
        if ((*c == 'W' || *c == 'w') && (devCapFlags & kLINEDEVCAPFLAGS_DIALDIALTONE) == 0)
            return LINEERR_DIALDIALTONE;
        if (*c == '@' && (devCapFlags & kLINEDEVCAPFLAGS_DIALQUIET) == 0)
            return LINEERR_DIALQUIET;
        if (*c == '$' && (devCapFlags & kLINEDEVCAPFLAGS_DIALBILLING) == 0)
            return LINEERR_DIALBILLING;
    }
    return 0;
}

QEvent::Type DeliveryEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

std::string VersionText(DWORD v) {
    return TraceLine("").Version(v).Text().substr(1);
}

} // namespace

// ---- Internal records ----

struct LocalTapi::Device {
    DWORD id = 0;
    LineSettings settings;
    std::unique_ptr<LineDriver> driver;
    DeviceCaps caps;
    std::unique_ptr<DeviceSink> sink;
    HLINE openLine = 0;
    bool opening = false; // the driver's Open is running
    bool removed = false;
    std::optional<LineSettings> pending; // edited settings, applied once the device is closed
};

struct LocalTapi::App {
    HLINEAPP handle = 0;
    LINECALLBACK callback = nullptr;
    std::string name;
    Receiver* receiver = nullptr; // owned; lives in the thread that registered the app
    std::deque<Message> queue;
    bool kicked = false; // a delivery event is on its way
};

struct LocalTapi::Line {
    HLINE handle = 0;
    HLINEAPP app = 0;
    DWORD device = 0;
    DWORD_PTR instance = 0;
    DWORD version = 0;
};

struct LocalTapi::Call {
    HCALL handle = 0;
    HLINE line = 0;
    DWORD device = 0;
    DWORD state = 0;
    bool established = false; // its call request succeeded
    bool privilegeSent = false;
};

struct LocalTapi::Request {
    RequestId id = 0;
    HLINEAPP app = 0;
    HLINE line = 0;
    HCALL call = 0;
    bool makeCall = false;
    LPHCALL writeTo = nullptr;
};

// Forwards one device's driver reports to the service.
class LocalTapi::DeviceSink final : public LineDriverSink {
  public:
    DeviceSink(LocalTapi& s, DWORD id) : service(s), device(id) {}
    void RequestCompleted(RequestId request, LONG result) override {
        service.OnRequestCompleted(device, request, result);
    }
    void CallState(CallId call, DWORD state, DWORD mode) override {
        service.OnCallState(device, call, state, mode);
    }
    void LineDevState(DWORD state, DWORD p2, DWORD p3) override {
        service.OnLineDevState(device, state, p2, p3);
    }
    void DeviceRemoved() override { service.OnDeviceRemoved(device); }

  private:
    LocalTapi& service;
    DWORD device;
};

// Receives the delivery events of one application in its own thread.
class LocalTapi::Receiver : public QObject {
  public:
    Receiver(LocalTapi& s, HLINEAPP h) : service(&s), app(h) {}
    bool event(QEvent* e) override {
        if (e->type() != DeliveryEvent())
            return QObject::event(e);
        if (service != nullptr)
            service->DeliverOne(app);
        return true;
    }
    // The application is gone: delivery events still queued for this object do nothing,
    // also after the service itself has been destroyed.
    void Detach() { service = nullptr; }

  private:
    LocalTapi* service;
    HLINEAPP app;
};

LocalTapi::Operation::~Operation() {
    if (--service.depth == 0 && service.deliveryWaiting) {
        service.deliveryWaiting = false;
        for (auto& [handle, app] : service.apps)
            service.Kick(*app);
    }
}

// ---- Construction ----

LocalTapi::LocalTapi(Options options)
    : config(std::move(options.configuration)), trace(std::move(options.trace)),
      errors(options.errors != nullptr ? options.errors : &std::cerr) {
    if (options.drivers)
        options.drivers(registry);
    LoadDevices();
}

LocalTapi::~LocalTapi() {
    while (!apps.empty())
        ShutdownApp(apps.begin()->first);
    for (HICON icon : icons)
        if (ui)
            ui->DestroyIcon(icon);
    icons.clear();
    devices.clear();
}

void LocalTapi::SetUi(std::unique_ptr<ServiceUi> newUi) {
    ui = std::move(newUi);
}

void LocalTapi::LoadDevices() {
    std::vector<std::string> messages = config.messages;
    const std::string& path = config.path;
    auto where = [&](int line) { return line > 0 ? path + ":" + std::to_string(line) + ": " : path + ": "; };
    for (const LineSettings& s : config.lines) {
        const DriverInfo* info = registry.Find(s.driver);
        if (info == nullptr) {
            std::string known;
            for (const std::string& n : registry.Names())
                known += (known.empty() ? "" : ", ") + n;
            messages.push_back(where(s.groupLine) + "line device [" + s.group + "] has unknown driver '" +
                               s.driver + "' (left out); known drivers: " + known);
            continue;
        }
        for (const LineSettings::Entry& e : s.entries) {
            const bool known = std::any_of(info->keys.begin(), info->keys.end(),
                                           [&](const DriverKeyInfo& k) { return k.key == e.key; });
            if (!known)
                messages.push_back(where(e.line) + "[" + s.group + "] unknown key '" + e.key +
                                   "' for driver '" + s.driver + "' (ignored)");
        }
        std::vector<ConfigProblem> problems;
        std::unique_ptr<LineDriver> driver = info->create(s, problems);
        for (const ConfigProblem& p : problems)
            messages.push_back(where(p.line) + "[" + s.group + "] " + p.text);
        if (!driver) {
            messages.push_back(where(s.groupLine) + "line device [" + s.group + "] left out");
            continue;
        }
        auto device = std::make_unique<Device>();
        device->id = static_cast<DWORD>(devices.size());
        device->settings = s;
        device->caps = driver->Caps();
        device->driver = std::move(driver);
        device->sink = std::make_unique<DeviceSink>(*this, device->id);
        devices.push_back(std::move(device));
    }
    if (config.fileFound && devices.empty())
        messages.push_back(where(0) + "no usable line device");
    for (const std::string& m : messages)
        *errors << m << '\n';
    errors->flush();
    problems = std::move(messages);
}

std::string LocalTapi::NoLineExplanation() const {
    if (!devices.empty())
        return {};
    std::string why;
    if (!config.readError.empty()) {
        why = "The telephony configuration " + config.path + " cannot be read (" + config.readError + ").";
    } else if (config.lineGroups == 0) {
        why = "The telephony configuration " + config.path + " has no line group ([line0], [line1], ...).";
    } else {
        why = "Every line group in the telephony configuration " + config.path + " was left out.";
        // The first problem that cost a line, not a remark about an ignored key.
        const auto first = std::find_if(problems.begin(), problems.end(), [](const std::string& m) {
            return m.size() < 9 || m.compare(m.size() - 9, 9, "(ignored)") != 0;
        });
        if (first != problems.end())
            why += " The first problem:\n" + *first;
    }
    return "No telephone line is available.\n" + why +
           "\n\nTo add a line, put a group like this into the file:\n"
           "[line0]\ndriver=simulated\nname=Practice line\n\n"
           "For a modem, use driver=modem with its port, e.g. port=/dev/ttyACM0. "
           "Without the file OrvoDial uses its built-in simulated line. "
           "Standard error lists every problem.";
}

LocalTapi::Census LocalTapi::census() const {
    Census c;
    c.apps = apps.size();
    c.lines = lines.size();
    c.calls = calls.size();
    c.requests = requests.size();
    for (const auto& [h, app] : apps)
        c.queuedMessages += app->queue.size();
    c.icons = icons.size();
    c.devices = devices.size();
    return c;
}

// ---- Helpers ----

LONG LocalTapi::Traced(const TraceLine& line, LONG result) {
    if (trace)
        trace->Write(line.Result(result));
    return result;
}

LONG LocalTapi::CheckDevice(DWORD deviceID) const {
    if (deviceID >= devices.size())
        return LINEERR_BADDEVICEID;
    if (devices[deviceID]->removed)
        return LINEERR_NODEVICE;
    return 0;
}

bool LocalTapi::ValidDeviceClass(LPCSTR deviceClass) {
    if (deviceClass == nullptr || *deviceClass == '\0')
        return true;
    std::string lower(deviceClass);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return lower == "tapi/line";
}

LocalTapi::App* LocalTapi::FindApp(HLINEAPP h) {
    const auto it = apps.find(h);
    return it == apps.end() ? nullptr : it->second.get();
}

LocalTapi::Line* LocalTapi::FindLine(HLINE h) {
    const auto it = lines.find(h);
    return it == lines.end() ? nullptr : &it->second;
}

LocalTapi::Call* LocalTapi::FindCall(HCALL h) {
    const auto it = calls.find(h);
    return it == calls.end() ? nullptr : &it->second;
}

// ---- Message delivery ----

void LocalTapi::Post(HLINEAPP h, const Message& m) {
    App* app = FindApp(h);
    if (app == nullptr)
        return;
    app->queue.push_back(m);
    Kick(*app);
}

void LocalTapi::Kick(App& app) {
    if (app.kicked || app.queue.empty())
        return;
    app.kicked = true;
    QCoreApplication::postEvent(app.receiver, new QEvent(DeliveryEvent()));
}

void LocalTapi::DeliverOne(HLINEAPP h) {
    App* app = FindApp(h);
    if (app == nullptr)
        return;
    app->kicked = false;
    if (depth > 0) {
        // Inside a telephony operation (a nested event loop): wait until it returns.
        deliveryWaiting = true;
        return;
    }
    if (app->queue.empty())
        return;
    const Message m = app->queue.front();
    app->queue.pop_front();
    // The next message gets its own event, so that a callback that runs a modal loop
    // still receives the rest in order.
    Kick(*app);
    if (m.writeCall != nullptr && FindCall(m.callHandle) != nullptr)
        *m.writeCall = m.callHandle;
    if (trace)
        trace->Write(MessageLine(m.hDevice, m.message, m.instance, m.p1, m.p2, m.p3));
    const LINECALLBACK callback = app->callback;
    const QObject* receiver = app->receiver;
    dispatching.insert(receiver);
    // From here on the application may be gone: the callback may shut it down. The service
    // may be gone too: the callback may let go of the last reference to it.
    const std::weak_ptr<const void> serviceAlive = alive;
    callback(m.hDevice, m.message, m.instance, m.p1, m.p2, m.p3);
    if (serviceAlive.expired())
        return;
    dispatching.erase(dispatching.find(receiver));
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
    if (result > 0)
        result = LINEERR_OPERATIONFAILED; // a driver fault: a reply is 0 or negative
    Message m{0, LINE_REPLY, line->instance, id, static_cast<DWORD>(result), 0, 0, 0, nullptr, 0};
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
    const DWORD privilege = call->privilegeSent ? 0 : LINECALLPRIVILEGE_OWNER;
    call->privilegeSent = true;
    Post(line->app,
         Message{id, LINE_CALLSTATE, line->instance, state, mode, privilege, line->handle, id, nullptr, 0});
}

void LocalTapi::OnLineDevState(DWORD device, DWORD state, DWORD p2, DWORD p3) {
    const Line* line = FindLine(devices[device]->openLine);
    if (line == nullptr)
        return;
    Post(line->app, Message{line->handle, LINE_LINEDEVSTATE, line->instance, state, p2, p3, line->handle, 0,
                            nullptr, 0});
}

void LocalTapi::OnDeviceRemoved(DWORD device) {
    Device& d = *devices[device];
    d.removed = true;
    if (d.openLine != 0)
        CloseLine(d.openLine, true);
}

void LocalTapi::ApplyPendingSettings(Device& device) {
    if (!device.pending || device.openLine != 0 || device.opening || device.removed)
        return;
    LineSettings s = std::move(*device.pending);
    device.pending.reset();
    const DriverInfo* info = registry.Find(s.driver);
    std::vector<ConfigProblem> problems;
    std::unique_ptr<LineDriver> driver = info ? info->create(s, problems) : nullptr;
    if (!driver) {
        *errors << config.path << ": [" << s.group
                << "] the new settings cannot be used; the old ones stay in effect\n";
        return;
    }
    device.driver = std::move(driver);
    device.caps = device.driver->Caps();
    device.settings = std::move(s);
}

// Closes a line: outstanding requests answered, other messages of the line dropped, calls
// released, the device closed. With deviceGone the application is told by LINE_CLOSE.
void LocalTapi::CloseLine(HLINE h, bool deviceGone) {
    const auto lineIt = lines.find(h);
    if (lineIt == lines.end())
        return;
    const Line line = lineIt->second;
    Device& device = *devices[line.device];

    if (App* app = FindApp(line.app)) {
        auto& q = app->queue;
        q.erase(std::remove_if(q.begin(), q.end(),
                               [&](const Message& m) { return m.line == h && m.message != LINE_REPLY; }),
                q.end());
    }
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
    device.driver->Close();
    device.openLine = 0;
    lines.erase(lineIt);

    for (const Request& r : outstanding) {
        const LONG result = r.makeCall ? LINEERR_OPERATIONFAILED : 0;
        Post(line.app,
             Message{0, LINE_REPLY, line.instance, r.id, static_cast<DWORD>(result), 0, 0, 0, nullptr, 0});
    }
    if (deviceGone)
        Post(line.app, Message{h, LINE_CLOSE, line.instance, 0, 0, 0, 0, 0, nullptr, 0});
    ApplyPendingSettings(device);
}

void LocalTapi::ShutdownApp(HLINEAPP h) {
    App* app = FindApp(h);
    if (app == nullptr)
        return;
    std::vector<HLINE> own;
    for (const auto& [handle, line] : lines)
        if (line.app == h)
            own.push_back(handle);
    for (HLINE l : own)
        CloseLine(l, false);
    for (auto it = requests.begin(); it != requests.end();)
        it = it->second.app == h ? requests.erase(it) : std::next(it);
    Receiver* receiver = app->receiver;
    receiver->Detach();
    apps.erase(h);
    // Deleting the receiver also drops its delivery events still in the event queue. When
    // it is the one dispatching right now (a callback shutting down), it goes later.
    if (receiver->thread() == QThread::currentThread() && QCoreApplication::instance() != nullptr &&
        dispatching.count(receiver) != 0)
        receiver->deleteLater();
    else
        delete receiver;
}

// ---- Operations ----

LONG LocalTapi::lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                                  LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                                  LPLINEINITIALIZEEXPARAMS params) {
    Operation op(*this);
    const DWORD versionIn = lpdwAPIVersion != nullptr ? *lpdwAPIVersion : 0;
    const LONG result = [&]() -> LONG {
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
        if (*lpdwAPIVersion < kFirstInitializeExVersion)
            return LINEERR_INCOMPATIBLEAPIVERSION;
        if (QCoreApplication::instance() == nullptr)
            return LINEERR_OPERATIONFAILED; // no event loop to deliver messages through
        auto app = std::make_unique<App>();
        app->handle = NewHandle();
        app->callback = lpfnCallback;
        app->name = lpszFriendlyAppName != nullptr ? lpszFriendlyAppName : "";
        app->receiver = new Receiver(*this, app->handle);
        *lphLineApp = app->handle;
        *lpdwNumDevs = static_cast<DWORD>(devices.size());
        *lpdwAPIVersion = kServiceVersion;
        params->dwNeededSize = sizeof(LINEINITIALIZEEXPARAMS);
        params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
        apps.emplace(app->handle, std::move(app));
        return 0;
    }();
    TraceLine t("lineInitializeExA");
    t.Out(lphLineApp, result == 0).Ptr(hInstance).Ptr(reinterpret_cast<const void*>(lpfnCallback));
    t.Str(lpszFriendlyAppName).Out(lpdwNumDevs, result == 0);
    t.Raw(lpdwAPIVersion == nullptr
              ? std::string("NULL")
              : "&" + VersionText(versionIn) + (result == 0 ? "->" + VersionText(*lpdwAPIVersion) : ""));
    t.Raw(params == nullptr ? std::string("NULL")
                            : "{size=" + std::to_string(params->dwTotalSize) +
                                  ",options=" + std::to_string(params->dwOptions) + "}");
    return Traced(t, result);
}

LONG LocalTapi::lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD low, DWORD high,
                                        LPDWORD lpdwAPIVersion, LPLINEEXTENSIONID lpExtensionID) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
        if (FindApp(hLineApp) == nullptr)
            return LINEERR_INVALAPPHANDLE;
        if (LONG r = CheckDevice(dwDeviceID))
            return r;
        if (lpdwAPIVersion == nullptr || lpExtensionID == nullptr)
            return LINEERR_INVALPOINTER;
        const DeviceCaps& caps = devices[dwDeviceID]->caps;
        const DWORD top = std::min({high, caps.highAPIVersion, kServiceVersion});
        const DWORD bottom = std::max({low, caps.lowAPIVersion, kLowestVersion});
        if (low > high || bottom > top)
            return LINEERR_INCOMPATIBLEAPIVERSION;
        *lpdwAPIVersion = top;
        *lpExtensionID = caps.highExtVersion != 0 ? caps.extensionID : LINEEXTENSIONID{};
        return 0;
    }();
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
    return Traced(t, result);
}

LONG LocalTapi::lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                                LPLINEDEVCAPS caps) {
    Operation op(*this);
    const DWORD totalIn = caps != nullptr ? caps->dwTotalSize : 0;
    const LONG result = [&]() -> LONG {
        if (FindApp(hLineApp) == nullptr)
            return LINEERR_INVALAPPHANDLE;
        if (LONG r = CheckDevice(dwDeviceID))
            return r;
        const DeviceCaps& dc = devices[dwDeviceID]->caps;
        if (dwAPIVersion < std::max(dc.lowAPIVersion, kLowestVersion) ||
            dwAPIVersion > std::min(dc.highAPIVersion, kServiceVersion))
            return LINEERR_INCOMPATIBLEAPIVERSION;
        if (dwExtVersion != 0 && (dwExtVersion < dc.lowExtVersion || dwExtVersion > dc.highExtVersion))
            return LINEERR_INCOMPATIBLEEXTVERSION;
        if (caps == nullptr)
            return LINEERR_INVALPOINTER;
        const DWORD fixed = DevCapsFixedSize(dwAPIVersion);
        const DWORD total = caps->dwTotalSize;
        if (total < fixed)
            return LINEERR_STRUCTURETOOSMALL;
        auto* bytes = reinterpret_cast<unsigned char*>(caps);
        std::memset(bytes + sizeof(DWORD), 0, fixed - sizeof(DWORD));
        caps->dwPermanentLineID = dc.permanentLineID;
        caps->dwStringFormat = STRINGFORMAT_ASCII;
        caps->dwAddressModes = dc.addressModes;
        caps->dwNumAddresses = dc.numAddresses;
        caps->dwBearerModes = dc.bearerModes;
        caps->dwMaxRate = dc.maxRate;
        caps->dwMediaModes = dc.mediaModes;
        caps->dwGenerateToneModes = dc.generateToneModes;
        caps->dwGenerateToneMaxNumFreq = dc.generateToneMaxNumFreq;
        caps->dwDevCapFlags = dc.devCapFlags;
        caps->dwMaxNumActiveCalls = dc.maxNumActiveCalls;
        caps->dwAnswerMode = 0x00000001; // LINEANSWERMODE_NONE: no incoming calls
        caps->dwLineStates =
            LINEDEVSTATE_OTHER | LINEDEVSTATE_OPEN | LINEDEVSTATE_CLOSE | LINEDEVSTATE_REINIT;
        caps->dwNumTerminals = dc.numTerminals;
        if (fixed > offsetof(LINEDEVCAPS, dwLineFeatures))
            caps->dwLineFeatures = dc.lineFeatures;

        // The variable part: each string whole, NUL-terminated, or left out when it does
        // not fit; dwNeededSize tells what all of them need.
        DWORD used = fixed;
        DWORD needed = fixed;
        auto place = [&](const std::string& text, DWORD& size, DWORD& offset) {
            const auto length = static_cast<DWORD>(text.size() + 1);
            needed += length;
            if (total - used < length)
                return;
            std::memcpy(bytes + used, text.c_str(), length);
            size = length;
            offset = used;
            used += length;
        };
        DWORD providerSize = 0, providerOffset = 0, switchSize = 0, switchOffset = 0, nameSize = 0,
              nameOffset = 0;
        place(dc.providerInfo, providerSize, providerOffset);
        place(dc.switchInfo, switchSize, switchOffset);
        place(dc.lineName, nameSize, nameOffset);
        caps->dwProviderInfoSize = providerSize;
        caps->dwProviderInfoOffset = providerOffset;
        caps->dwSwitchInfoSize = switchSize;
        caps->dwSwitchInfoOffset = switchOffset;
        caps->dwLineNameSize = nameSize;
        caps->dwLineNameOffset = nameOffset;
        caps->dwNeededSize = needed;
        caps->dwUsedSize = used;
        return 0;
    }();
    TraceLine t("lineGetDevCapsA");
    t.Num(hLineApp).Num(dwDeviceID).Version(dwAPIVersion).Version(dwExtVersion);
    if (caps == nullptr)
        t.Raw("NULL");
    else if (result == 0)
        t.Raw("{size=" + std::to_string(totalIn) + ",needed=" + std::to_string(caps->dwNeededSize) +
              ",used=" + std::to_string(caps->dwUsedSize) + "}");
    else
        t.Raw("{size=" + std::to_string(totalIn) + "}");
    return Traced(t, result);
}

LONG LocalTapi::lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                         DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                         DWORD dwMediaModes, LPLINECALLPARAMS lpCallParams) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
        if (FindApp(hLineApp) == nullptr)
            return LINEERR_INVALAPPHANDLE;
        if (LONG r = CheckDevice(dwDeviceID))
            return r;
        if (lphLine == nullptr)
            return LINEERR_INVALPOINTER;
        Device& device = *devices[dwDeviceID];
        const DeviceCaps& dc = device.caps;
        if (dwAPIVersion < std::max(dc.lowAPIVersion, kLowestVersion) ||
            dwAPIVersion > std::min(dc.highAPIVersion, kServiceVersion))
            return LINEERR_INCOMPATIBLEAPIVERSION;
        if (dwExtVersion != 0 && (dwExtVersion < dc.lowExtVersion || dwExtVersion > dc.highExtVersion))
            return LINEERR_INCOMPATIBLEEXTVERSION;
        if (!ValidPrivileges(dwPrivileges))
            return LINEERR_INVALPRIVSELECT;
        // As in TAPI, media modes matter only to an owner: they are the calls it takes.
        if ((dwPrivileges & LINECALLPRIVILEGE_OWNER) != 0 &&
            (dwMediaModes == 0 || (dwMediaModes & ~kAllMediaModes) != 0 ||
             (dwMediaModes & ~dc.mediaModes) != 0))
            return LINEERR_INVALMEDIAMODE;
        if (device.openLine != 0 || device.opening)
            return LINEERR_ALLOCATED;
        device.opening = true;
        const LONG opened = device.driver->Open(*device.sink);
        device.opening = false;
        if (opened != 0) {
            ApplyPendingSettings(device);
            return opened > 0 ? LINEERR_OPERATIONFAILED : opened;
        }
        if (FindApp(hLineApp) == nullptr || device.removed) {
            // Shut down or unplugged while the device was opening.
            device.driver->Close();
            ApplyPendingSettings(device);
            return device.removed ? LINEERR_NODEVICE : LINEERR_INVALAPPHANDLE;
        }
        Line line;
        line.handle = NewHandle();
        line.app = hLineApp;
        line.device = dwDeviceID;
        line.instance = dwCallbackInstance;
        line.version = dwAPIVersion;
        lines.emplace(line.handle, line);
        device.openLine = line.handle;
        *lphLine = line.handle;
        return 0;
    }();
    TraceLine t("lineOpen");
    t.Num(hLineApp).Num(dwDeviceID).Out(lphLine, result == 0).Version(dwAPIVersion).Version(dwExtVersion);
    t.Ptr(reinterpret_cast<const void*>(dwCallbackInstance))
        .Num(dwPrivileges)
        .Num(dwMediaModes)
        .Ptr(lpCallParams);
    return Traced(t, result);
}

LONG LocalTapi::lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                              LPLINECALLPARAMS lpCallParams) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
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
        if (nextRequest > kLastRequestId)
            return LINEERR_RESOURCEUNAVAIL;
        Call call;
        call.handle = NewHandle();
        call.line = hLine;
        call.device = line->device;
        Request request;
        request.id = nextRequest++;
        request.app = line->app;
        request.line = hLine;
        request.call = call.handle;
        request.makeCall = true;
        request.writeTo = lphCall;
        calls.emplace(call.handle, call);
        requests.emplace(request.id, request);
        const LONG r = device.driver->MakeCall(request.id, call.handle, dest);
        if (r != 0) {
            requests.erase(request.id);
            calls.erase(call.handle);
            return r > 0 ? LINEERR_OPERATIONFAILED : r;
        }
        return static_cast<LONG>(request.id);
    }();
    TraceLine t("lineMakeCallA");
    t.Num(hLine)
        .Raw(lphCall == nullptr ? "NULL" : "&")
        .Str(lpszDestAddress)
        .Num(dwCountryCode)
        .Ptr(lpCallParams);
    return Traced(t, result);
}

LONG LocalTapi::lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
        Call* call = FindCall(hCall);
        if (call == nullptr || !call->established)
            return LINEERR_INVALCALLHANDLE;
        if (lpsUserUserInfo != nullptr && dwSize > 0)
            return LINEERR_USERUSERINFOTOOBIG; // the devices carry no user-user information
        if (call->state == LINECALLSTATE_IDLE)
            return LINEERR_INVALCALLSTATE;
        if (nextRequest > kLastRequestId)
            return LINEERR_RESOURCEUNAVAIL;
        const Line& line = lines.at(call->line);
        Request request;
        request.id = nextRequest++;
        request.app = line.app;
        request.line = line.handle;
        request.call = hCall;
        requests.emplace(request.id, request);
        const LONG r = devices[call->device]->driver->Drop(request.id, hCall);
        if (r != 0) {
            requests.erase(request.id);
            return r > 0 ? LINEERR_OPERATIONFAILED : r;
        }
        return static_cast<LONG>(request.id);
    }();
    TraceLine t("lineDrop");
    t.Num(hCall).Ptr(lpsUserUserInfo).Num(dwSize);
    return Traced(t, result);
}

LONG LocalTapi::lineDeallocateCall(HCALL hCall) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
        Call* call = FindCall(hCall);
        if (call == nullptr || !call->established)
            return LINEERR_INVALCALLHANDLE;
        if (call->state != LINECALLSTATE_IDLE)
            return LINEERR_INVALCALLSTATE; // the one owner may not let go of a live call
        const Line& line = lines.at(call->line);
        if (App* app = FindApp(line.app)) {
            auto& q = app->queue;
            q.erase(std::remove_if(
                        q.begin(), q.end(),
                        [&](const Message& m) { return m.call == hCall && m.message == LINE_CALLSTATE; }),
                    q.end());
        }
        // A drop still outstanding on the call is answered now: the call it was for is gone.
        std::vector<RequestId> outstanding;
        for (const auto& [id, request] : requests)
            if (request.call == hCall && !request.makeCall)
                outstanding.push_back(id);
        for (RequestId id : outstanding) {
            requests.erase(id);
            Post(line.app, Message{0, LINE_REPLY, line.instance, id, 0, 0, 0, 0, nullptr, 0});
        }
        devices[call->device]->driver->ReleaseCall(hCall);
        calls.erase(hCall);
        return 0;
    }();
    return Traced(TraceLine("lineDeallocateCall").Num(hCall), result);
}

LONG LocalTapi::lineClose(HLINE hLine) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
        if (FindLine(hLine) == nullptr)
            return LINEERR_INVALLINEHANDLE;
        CloseLine(hLine, false);
        return 0;
    }();
    return Traced(TraceLine("lineClose").Num(hLine), result);
}

LONG LocalTapi::lineShutdown(HLINEAPP hLineApp) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
        if (FindApp(hLineApp) == nullptr)
            return LINEERR_INVALAPPHANDLE;
        ShutdownApp(hLineApp);
        return 0;
    }();
    return Traced(TraceLine("lineShutdown").Num(hLineApp), result);
}

LONG LocalTapi::lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
        if (LONG r = CheckDevice(dwDeviceID))
            return r;
        if (!ValidDeviceClass(lpszDeviceClass))
            return LINEERR_INVALDEVICECLASS;
        if (!ui)
            return LINEERR_OPERATIONUNAVAIL;
        Device& device = *devices[dwDeviceID];
        const ServiceUi::Validate validate = [this](const LineSettings& s) {
            std::vector<ConfigProblem> problems;
            const DriverInfo* info = registry.Find(s.driver);
            if (info == nullptr)
                problems.push_back({0, "unknown driver '" + s.driver + "'"});
            else if (!info->create(s, problems) && problems.empty())
                problems.push_back({0, "the driver cannot use these settings"});
            return problems;
        };
        const LineSettings current = device.pending ? *device.pending : device.settings;
        std::optional<LineSettings> edited = ui->EditLine(hwndOwner, dwDeviceID, current, registry, validate);
        if (!edited)
            return 0; // cancelled: nothing changes
        edited->group = current.group;
        std::string error;
        if (!SaveLineSettings(config.path, *edited, error)) {
            *errors << config.path << ": " << error << '\n';
            return LINEERR_OPERATIONFAILED;
        }
        device.pending = *edited;
        ApplyPendingSettings(device); // at once when closed, else when the line closes
        return 0;
    }();
    TraceLine t("lineConfigDialogA");
    t.Num(dwDeviceID).Ptr(hwndOwner).Str(lpszDeviceClass);
    return Traced(t, result);
}

LONG LocalTapi::lineTranslateDialogA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                                     LPCSTR lpszAddressIn) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
        if (FindApp(hLineApp) == nullptr)
            return LINEERR_INVALAPPHANDLE;
        if (LONG r = CheckDevice(dwDeviceID))
            return r;
        if (dwAPIVersion < kFirstTranslateVersion || dwAPIVersion > kServiceVersion)
            return LINEERR_INCOMPATIBLEAPIVERSION;
        if (!ui)
            return LINEERR_OPERATIONUNAVAIL;
        std::optional<Location> edited =
            ui->EditLocation(hwndOwner, lpszAddressIn != nullptr ? lpszAddressIn : "", config.location);
        if (!edited || *edited == config.location)
            return 0;
        std::string error;
        if (!SaveLocation(config.path, *edited, error)) {
            *errors << config.path << ": " << error << '\n';
            return LINEERR_OPERATIONFAILED;
        }
        config.location = *edited;
        return 0;
    }();
    TraceLine t("lineTranslateDialogA");
    t.Num(hLineApp).Num(dwDeviceID).Version(dwAPIVersion).Ptr(hwndOwner).Str(lpszAddressIn);
    return Traced(t, result);
}

LONG LocalTapi::lineGetIconA(DWORD dwDeviceID, LPCSTR lpszDeviceClass, LPHICON lphIcon) {
    Operation op(*this);
    const LONG result = [&]() -> LONG {
        if (LONG r = CheckDevice(dwDeviceID))
            return r;
        if (!ValidDeviceClass(lpszDeviceClass))
            return LINEERR_INVALDEVICECLASS;
        if (lphIcon == nullptr)
            return LINEERR_INVALPOINTER;
        if (!ui)
            return LINEERR_OPERATIONUNAVAIL;
        const HICON icon = ui->CreateIcon(devices[dwDeviceID]->settings.driver);
        if (icon == nullptr)
            return LINEERR_NOMEM;
        icons.insert(icon);
        *lphIcon = icon;
        return 0;
    }();
    TraceLine t("lineGetIconA");
    t.Num(dwDeviceID).Str(lpszDeviceClass);
    t.Raw(lphIcon == nullptr ? std::string("NULL")
          : result == 0      ? "&" + TraceLine("").Ptr(*lphIcon).Text().substr(1)
                             : std::string("&"));
    return Traced(t, result);
}

BOOL LocalTapi::DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                           UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
    Operation op(*this);
    BOOL drawn = 0;
    if (hdc != nullptr && icons.count(hIcon) != 0 && ui) {
        // Without DI_DEFAULTSIZE a zero width or height means the icon's own size.
        const int w = (cxWidth == 0 && (diFlags & DI_DEFAULTSIZE) != 0) ? kDefaultIconSize : cxWidth;
        const int h = (cyWidth == 0 && (diFlags & DI_DEFAULTSIZE) != 0) ? kDefaultIconSize : cyWidth;
        drawn = ui->DrawIcon(hdc, xLeft, yTop, hIcon, w, h) ? 1 : 0;
    }
    if (trace) {
        TraceLine t("DrawIconEx");
        t.Ptr(hdc).Raw(std::to_string(xLeft)).Raw(std::to_string(yTop)).Ptr(hIcon);
        t.Raw(std::to_string(cxWidth))
            .Raw(std::to_string(cyWidth))
            .Num(istepIfAniCur)
            .Ptr(hbrFlickerFreeDraw);
        t.Num(diFlags);
        trace->Write(t.Result(drawn));
    }
    return drawn;
}

BOOL LocalTapi::DestroyIcon(HICON hIcon) {
    Operation op(*this);
    BOOL destroyed = 0;
    if (icons.erase(hIcon) != 0) {
        if (ui)
            ui->DestroyIcon(hIcon);
        destroyed = 1;
    }
    if (trace)
        trace->Write(TraceLine("DestroyIcon").Ptr(hIcon).Result(destroyed));
    return destroyed;
}

} // namespace localtapi
