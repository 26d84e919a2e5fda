// The line devices of the local telephony service: making them from the configuration,
// new settings from the settings dialog, the dialing properties, and the device icons.
#include "localtapi/Checks.h"
#include "localtapi/DeviceLoader.h"
#include "localtapi/LocalTapi.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <iostream>

namespace localtapi {

namespace {

constexpr int kDefaultIconSize = 32;

} // namespace

LocalTapi::LocalTapi(Options options)
    : config(std::move(options.configuration)), errors(options.errors != nullptr ? options.errors : &std::cerr),
      delivery([this](const Message& m) {
          // A call request's reply: the handle is the application's from now on.
          if (m.writeCall != nullptr && FindCall(m.callHandle) != nullptr)
              *m.writeCall = m.callHandle;
      }) {
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

void LocalTapi::SetNotes(std::function<void(const std::string&)> n) {
    notes = std::move(n);
}

bool LocalTapi::WaitForDevices(std::chrono::milliseconds limit) {
    auto busy = [this] {
        return std::any_of(devices.begin(), devices.end(), [](const auto& d) { return d->driver->Busy(); });
    };
    if (QCoreApplication::instance() == nullptr)
        return !busy();
    QElapsedTimer clock;
    clock.start();
    while (busy() && clock.elapsed() < limit.count())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents, 10);
    return !busy();
}

// A driver takes its place in a device: its remarks go to the problem list (for the user)
// and to the notes (the trace), named by the device's group.
void LocalTapi::Adopt(Device& device, std::unique_ptr<LineDriver> driver) {
    const std::string group = "[" + device.settings.group + "] ";
    driver->SetRemarks([this, group, &device](const std::string& text, bool forUser) {
        if (forUser) {
            device.failure = text;
            *errors << config.path << ": " << group << text << '\n';
            errors->flush();
        }
        if (notes)
            notes(group + text);
    });
    device.caps = driver->Caps();
    device.driver = std::move(driver);
}

// A call disconnected before its end was asked for: when the driver gave no reason of its
// own, the way it ended is the reason.
void LocalTapi::NoteDisconnect(Device& device, DWORD mode) {
    static const std::map<DWORD, const char*> kWords = {
        {LINEDISCONNECTMODE_NORMAL, "the call ended before it was answered"},
        {LINEDISCONNECTMODE_REJECT, "the call was rejected"},
        {LINEDISCONNECTMODE_BUSY, "the number is busy"},
        {LINEDISCONNECTMODE_NOANSWER, "no answer"},
        {LINEDISCONNECTMODE_BADADDRESS, "the number is not valid"},
        {LINEDISCONNECTMODE_UNREACHABLE, "the number cannot be reached"},
        {LINEDISCONNECTMODE_CONGESTION, "the network is busy"},
        {LINEDISCONNECTMODE_INCOMPATIBLE, "the other end cannot take the call"},
        {LINEDISCONNECTMODE_UNAVAIL, "the call cannot be made now"},
        {LINEDISCONNECTMODE_NODIALTONE, "no dial tone (is the telephone line plugged in?)"},
        {LINEDISCONNECTMODE_NUMBERCHANGED, "the number has changed"},
        {LINEDISCONNECTMODE_OUTOFORDER, "the number is out of order"},
        {LINEDISCONNECTMODE_TEMPFAILURE, "a temporary failure of the network"},
        {LINEDISCONNECTMODE_BLOCKED, "the call was blocked"},
        {LINEDISCONNECTMODE_DONOTDISTURB, "the called party does not want to be disturbed"},
    };
    if (!device.failure.empty())
        return;
    const auto words = kWords.find(mode);
    device.failure = words != kWords.end() ? words->second : "the call was disconnected";
}

std::string LocalTapi::FailureReason(DWORD dwDeviceID) {
    return dwDeviceID < devices.size() ? devices[dwDeviceID]->failure : std::string();
}

void LocalTapi::LoadDevices() {
    std::vector<std::string> messages = config.messages;
    firstLineLost = config.firstLineLost;
    for (const LineSettings& s : config.lines) {
        LoadedDevice loaded = LoadDevice(registry, s);
        for (const LoadProblem& p : loaded.problems) {
            messages.push_back(ProblemMessage(config.path, p.line, p.text));
            if (p.lineLost && firstLineLost.empty())
                firstLineLost = messages.back();
        }
        if (!loaded.driver)
            continue;
        auto device = std::make_unique<Device>();
        device->id = static_cast<DWORD>(devices.size());
        device->settings = s;
        Adopt(*device, std::move(loaded.driver));
        device->sink = std::make_unique<DeviceSink>(*this, device->id);
        devices.push_back(std::move(device));
    }
    if (config.fileFound && devices.empty())
        messages.push_back(ProblemMessage(config.path, 0, "no usable line device"));
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
        if (!firstLineLost.empty())
            why += " The first problem:\n" + firstLineLost;
    }
    return "No telephone line is available.\n" + why +
           "\n\nTo add a line, put a group like this into the file:\n"
           "[line0]\ndriver=simulated\nname=Practice line\n\n"
           "That is the practice line, which dials nothing. For a real line use driver=modem "
           "(a voice modem, port=/dev/ttyACM0), driver=sip (a SIP desk phone, "
           "phone=sip:201@pbx.example.com) or driver=ofono (a mobile phone through oFono); "
           "Once the file has a line, orvodial --line-settings edits it in a dialog. "
           "Without the file OrvoDial uses its built-in practice line. "
           "Standard error lists every problem.";
}

LocalTapi::Census LocalTapi::census() const {
    Census c;
    c.apps = apps.size();
    c.lines = lines.size();
    c.calls = calls.size();
    c.requests = requests.size();
    c.queuedMessages = delivery.Queued();
    c.icons = icons.size();
    c.devices = devices.size();
    return c;
}

namespace {

// The same line, as far as a driver can tell (where in the file does not count).
bool SameSettings(const LineSettings& a, const LineSettings& b) {
    if (a.name != b.name || a.driver != b.driver || a.entries.size() != b.entries.size())
        return false;
    for (std::size_t i = 0; i < a.entries.size(); ++i)
        if (a.entries[i].key != b.entries[i].key || a.entries[i].value != b.entries[i].value)
            return false;
    return true;
}

} // namespace

void LocalTapi::Reload(const Configuration& fresh) {
    for (const std::string& m : fresh.messages)
        *errors << m << '\n';
    errors->flush();
    if (!fresh.readError.empty())
        return;
    config.fileFound = fresh.fileFound;
    config.location = fresh.location;
    for (const auto& device : devices) {
        const auto line = std::find_if(fresh.lines.begin(), fresh.lines.end(),
                                       [&](const LineSettings& s) { return s.group == device->settings.group; });
        if (line == fresh.lines.end())
            continue; // left out or gone: the device keeps its settings until the next start
        if (SameSettings(*line, device->pending ? *device->pending : device->settings))
            continue;
        device->pending = *line;
        if (notes)
            notes("[" + line->group + "] new settings in the file: in effect from the line's next open");
        ApplyPendingSettings(*device);
    }
}

// New settings take effect once the device is closed: a new driver made from them.
void LocalTapi::ApplyPendingSettings(Device& device) {
    if (!device.pending || !device.openLines.empty() || device.opening || device.removed)
        return;
    LineSettings s = std::move(*device.pending);
    device.pending.reset();
    LoadedDevice loaded = LoadDevice(registry, s);
    if (!loaded.driver) {
        *errors << config.path << ": [" << s.group << "] the new settings cannot be used; the old ones stay in effect\n";
        return;
    }
    device.settings = std::move(s);
    Adopt(device, std::move(loaded.driver));
}

LONG LocalTapi::lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass) {
    Operation op(delivery);
    if (LONG r = CheckDevice(dwDeviceID))
        return r;
    if (!ValidDeviceClass(lpszDeviceClass))
        return LINEERR_INVALDEVICECLASS;
    if (!ui)
        return LINEERR_OPERATIONUNAVAIL;
    Device& device = *devices[dwDeviceID];
    // The dialog's OK stands while the driver refuses the settings; its reasons are shown.
    const ServiceUi::Validate validate = [this](const LineSettings& s) {
        const LoadedDevice loaded = LoadDevice(registry, s);
        std::vector<ConfigProblem> reasons;
        if (loaded.driver)
            return reasons;
        for (const LoadProblem& p : loaded.problems)
            if (p.lineLost)
                reasons.push_back({p.line, p.bare});
        if (reasons.size() > 1)
            reasons.pop_back(); // the reasons say it; "cannot use these settings" adds nothing
        return reasons;
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
    ApplyPendingSettings(device); // at once when closed, else when the last line closes
    return 0;
}

LONG LocalTapi::lineTranslateDialogA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                                     LPCSTR lpszAddressIn) {
    Operation op(delivery);
    if (!HasApp(hLineApp))
        return LINEERR_INVALAPPHANDLE;
    if (LONG r = CheckDevice(dwDeviceID))
        return r;
    // lineTranslateDialog came with 1.4.
    if (LONG r = CheckVersion(dwAPIVersion, telephony::tapi::kVersion1_4, kServiceVersion))
        return r;
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
}

LONG LocalTapi::lineGetIconA(DWORD dwDeviceID, LPCSTR lpszDeviceClass, LPHICON lphIcon) {
    Operation op(delivery);
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
}

BOOL LocalTapi::DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT, HBRUSH,
                           UINT diFlags) {
    Operation op(delivery);
    if (hdc == nullptr || icons.count(hIcon) == 0 || !ui)
        return 0;
    // Without DI_DEFAULTSIZE a zero width or height means the icon's own size.
    const int w = (cxWidth == 0 && (diFlags & DI_DEFAULTSIZE) != 0) ? kDefaultIconSize : cxWidth;
    const int h = (cyWidth == 0 && (diFlags & DI_DEFAULTSIZE) != 0) ? kDefaultIconSize : cyWidth;
    return ui->DrawIcon(hdc, xLeft, yTop, hIcon, w, h) ? 1 : 0;
}

BOOL LocalTapi::DestroyIcon(HICON hIcon) {
    Operation op(delivery);
    if (icons.erase(hIcon) == 0)
        return 0;
    if (ui)
        ui->DestroyIcon(hIcon);
    return 1;
}

} // namespace localtapi
