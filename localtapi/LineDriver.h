// LineDriver: the interface between the local telephony service and the code that drives
// one kind of line device (a simulated line, a modem on a serial port, ...).
//
// A driver object stands for one line device, made by its driver's factory from the
// device's group of the configuration file. The service owns it, calls it only on the
// service's thread, and turns what the driver reports through LineDriverSink into the
// telephony messages of the applications that use the device.
//
// The interface is shaped for real hardware, whose commands complete later:
// - Open may take time and may fail with a LINEERR code. It may run a nested event loop
//   (e.g. to wait for a modem's answer); the service copes with that.
// - MakeCall and Drop either refuse at once (a LINEERR code, nothing reported later) or
//   accept (0) and report the outcome later, exactly once, with RequestCompleted.
// - Call states (with their mode parameter) are reported with CallState whenever the
//   device sees them, also unsolicited (the far end hangs up: DISCONNECTED).
// - Line-level events go through LineDevState; a device that disappears calls
//   DeviceRemoved, after which the service closes the line; the next lineOpen asks the
//   driver's Open again (a device plugged back in works without a restart).
// - What the driver has to say about the device (why an open failed, each step of a
//   hang-up) goes to Remark: to the trace, and to the user's problem list when forUser.
// What it does not do: no handles, no applications, no messages, no tracing; those are the
// service's. A driver never calls the sink after Close has returned.
#pragma once

#include "localtapi/DriverSettings.h"
#include "localtapi/Keyring.h"
#include "localtapi/LineSettings.h"
#include "telephony/mTAPIDecs.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace localtapi {

// Identifies one asynchronous request (the request ID the application got) and one call
// (the call handle the application got). Both are chosen by the service.
using RequestId = DWORD;
using CallId = DWORD;

// What a device offers; the service copies it into LINEDEVCAPS and negotiates versions
// against the range.
struct DeviceCaps {
    std::string lineName;
    std::string providerInfo;
    std::string switchInfo;
    DWORD permanentLineID = 0;
    DWORD addressModes = LINEADDRESSMODE_ADDRESSID;
    DWORD numAddresses = 1;
    DWORD bearerModes = LINEBEARERMODE_VOICE;
    DWORD maxRate = 0;
    DWORD mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    DWORD generateToneModes = 0;
    DWORD generateToneMaxNumFreq = 0;
    DWORD devCapFlags = LINEDEVCAPFLAGS_CLOSEDROP;
    DWORD maxNumActiveCalls = 1;
    DWORD lineFeatures = LINEFEATURE_MAKECALL;
    DWORD numTerminals = 0;
    DWORD lowAPIVersion = telephony::tapi::kVersion1_3;  // lowest API version the device supports
    DWORD highAPIVersion = telephony::tapi::kVersion3_0; // highest
    // Extension versions the device supports; 0..0 means none, and then the extension ID
    // handed out by negotiation is all zeros.
    DWORD lowExtVersion = 0;
    DWORD highExtVersion = 0;
    LINEEXTENSIONID extensionID{};
};

// Where a state stands in an outgoing call's progress (DIALTONE 1 ... IDLE 8; 0 for any
// other): drivers whose device may repeat itself or report out of order pass a state on
// only when it is further on than the call's last one, so a call never goes back.
constexpr int CallProgress(DWORD state) {
    switch (state) {
    case LINECALLSTATE_DIALTONE:
        return 1;
    case LINECALLSTATE_DIALING:
        return 2;
    case LINECALLSTATE_PROCEEDING:
        return 3;
    case LINECALLSTATE_RINGBACK:
        return 4;
    case LINECALLSTATE_CONNECTED:
        return 5;
    case LINECALLSTATE_BUSY:
        return 6;
    case LINECALLSTATE_DISCONNECTED:
        return 7;
    case LINECALLSTATE_IDLE:
        return 8;
    default:
        return 0;
    }
}

// How a driver reports back to the service. Called only on the service's thread, at any
// time between Open succeeding and Close, also from inside the driver's own methods.
class LineDriverSink {
  public:
    // The outcome of an accepted MakeCall or Drop: 0 or a LINEERR code. Exactly once per
    // accepted request.
    virtual void RequestCompleted(RequestId request, LONG result) = 0;
    // A call entered a state (LINECALLSTATE_*); mode is the state's parameter (dial-tone,
    // busy or disconnect mode, else 0). Only for a call whose MakeCall completed with 0.
    virtual void CallState(CallId call, DWORD state, DWORD mode) = 0;
    // A line-level event (LINEDEVSTATE_*) with its parameters.
    virtual void LineDevState(DWORD state, DWORD param2, DWORD param3) = 0;
    // The device is gone (unplugged, port vanished). The driver stops using it; the service
    // closes the line and offers the device no more.
    virtual void DeviceRemoved() = 0;

  protected:
    ~LineDriverSink() = default;
};

class LineDriver {
  public:
    virtual ~LineDriver() = default;

    // The device's capabilities; may be asked at any time, open or not.
    virtual DeviceCaps Caps() const = 0;

    // Takes the device into use. 0 on success, else a LINEERR code (e.g.
    // LINEERR_RESOURCEUNAVAIL when the hardware is busy or missing, LINEERR_NODEVICE).
    // Only called while closed.
    virtual LONG Open(LineDriverSink& sink) = 0;
    // Lets go of the device: the sink is not called any more and pending requests are
    // forgotten. A call still up is torn down; hardware may finish that on its own after
    // Close returns (then Busy() holds until it is done, and a later Open waits for it).
    virtual void Close() = 0;
    virtual bool Busy() const { return false; }

    // Places a call; destination is null for a call that stays in dial tone. 0 = accepted
    // (RequestCompleted follows), else a LINEERR code and nothing follows.
    virtual LONG MakeCall(RequestId request, CallId call, const char* destination) = 0;
    // Drops a call; on success the call goes to LINECALLSTATE_IDLE. Same reply rules.
    virtual LONG Drop(RequestId request, CallId call) = 0;
    // The service has forgotten the call (deallocated, or its line closed): stop any
    // activity for it without reporting anything.
    virtual void ReleaseCall(CallId call) = 0;

    using Remarks = std::function<void(const std::string& text, bool forUser)>;
    void SetRemarks(Remarks r) { remarks = std::move(r); }

  protected:
    void Remark(const std::string& text, bool forUser = false) const {
        if (remarks)
            remarks(text, forUser);
    }

  private:
    Remarks remarks;
};

// Makes one device from its settings; returns null (with problems saying why) when the
// settings are unusable. Problems may also be recorded for a device that is made anyway.
using DriverFactory = std::function<std::unique_ptr<LineDriver>(const LineSettings& settings,
                                                                std::vector<ConfigProblem>& problems)>;

// The factory of a driver made from what its settings reader reads: no driver (and the
// reader's problems) when it reads nothing usable.
template <typename Driver, typename Settings>
DriverFactory ReadThenMake(std::optional<Settings> (*read)(const LineSettings&,
                                                           std::vector<ConfigProblem>&)) {
    return [read](const LineSettings& settings,
                  std::vector<ConfigProblem>& problems) -> std::unique_ptr<LineDriver> {
        std::optional<Settings> s = read(settings, problems);
        if (!s)
            return nullptr;
        return std::make_unique<Driver>(std::move(*s));
    };
}

struct DriverInfo {
    std::string name;        // the value of driver= that selects it
    std::string description; // one line for the user
    // Its settings, each written once: the reader, the dialog and the checks use them.
    std::span<const SettingSpec> settings;
    DriverFactory create;
    // A driver that dials digits (a modem) gets a number in international form ("+...")
    // turned into the digits to dial from the configured location; one that takes
    // international numbers as they are (SIP, a mobile phone) gets it with its "+".
    bool dialsDigits = true;
    // The name the settings dialog gives a line of this driver ("Desk phone").
    std::string defaultName;
    // What the settings dialog warns of without refusing the settings, in words for the
    // user (a modem's port that is not there now); none by default.
    std::function<std::vector<std::string>(const LineSettings&)> warnings;
    // Where the keyring keeps the secret of a line of this driver (its SettingKind::Secret
    // row), for the settings dialog to store it there; none for a driver without one.
    std::function<KeyringEntry(const LineSettings&)> secretEntry;
    // With secretEntry: the yes/no setting that says the secret is in the keyring.
    std::string keyringKey;
};

// The drivers the service knows, by name. Owned by the service.
class DriverRegistry {
  public:
    // Adds a driver; false (and nothing changes) when the name is taken or empty.
    bool Register(DriverInfo info);
    const DriverInfo* Find(std::string_view name) const;
    std::vector<std::string> Names() const; // sorted

  private:
    std::map<std::string, DriverInfo, std::less<>> drivers;
};

// Registers every driver built into the program, from the list in drivers/Drivers.cpp.
void RegisterBuiltinDrivers(DriverRegistry& registry);

} // namespace localtapi
