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
//   DeviceRemoved, after which the service closes the line and never opens it again.
// What it does not do: no handles, no applications, no messages, no tracing; those are the
// service's. A driver never calls the sink after Close has returned.
#pragma once

#include "mTAPIDecs.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Line device states (dwParam1 of LINE_LINEDEVSTATE), published values.
constexpr DWORD LINEDEVSTATE_OTHER = 0x00000001;
constexpr DWORD LINEDEVSTATE_RINGING = 0x00000002;
constexpr DWORD LINEDEVSTATE_CONNECTED = 0x00000004;
constexpr DWORD LINEDEVSTATE_DISCONNECTED = 0x00000008;
constexpr DWORD LINEDEVSTATE_INSERVICE = 0x00000040;
constexpr DWORD LINEDEVSTATE_OUTOFSERVICE = 0x00000080;
constexpr DWORD LINEDEVSTATE_OPEN = 0x00000200;
constexpr DWORD LINEDEVSTATE_CLOSE = 0x00000400;
constexpr DWORD LINEDEVSTATE_REINIT = 0x00040000;
constexpr DWORD LINEDEVSTATE_CONFIGCHANGE = 0x00200000;
constexpr DWORD LINEDEVSTATE_TRANSLATECHANGE = 0x00400000;
constexpr DWORD LINEDEVSTATE_REMOVED = 0x01000000;

constexpr DWORD LINEFEATURE_MAKECALL = 0x00000008;
constexpr DWORD LINEDEVCAPFLAGS_CLOSEDROP = 0x00000020;

namespace localtapi {

// Identifies one asynchronous request (the request ID the application got) and one call
// (the call handle the application got). Both are chosen by the service.
using RequestId = DWORD;
using CallId = DWORD;

// A problem found in the configuration: the file's line number (0 when not tied to a
// line) and what is wrong, in words meant for the user.
struct ConfigProblem {
    int line = 0;
    std::string text;
};

// One line device's group of the configuration file.
struct LineSettings {
    struct Entry {
        std::string key;
        std::string value;
        int line = 0; // line number in the file, 0 when the entry did not come from a file
    };

    std::string group;          // "line0", "line1", ...
    int groupLine = 0;          // line number of the group header
    std::string name;           // name=
    std::string driver;         // driver=
    std::vector<Entry> entries; // the driver's own keys, in file order (not name= or driver=)

    const Entry* Find(std::string_view key) const;
    std::string Text(std::string_view key, std::string_view fallback = {}) const;
    void Set(std::string_view key, std::string_view value); // replaces or appends

    // Reads an unsigned number (decimal, or hexadecimal with 0x) within [min, max]. A key
    // that is absent gives fallback; a malformed or out-of-range value records a problem
    // naming the key and its line, leaves out at fallback and returns false.
    bool Unsigned(std::string_view key, DWORD fallback, DWORD min, DWORD max, DWORD& out,
                  std::vector<ConfigProblem>& problems) const;
    // Reads a signed 32-bit number (decimal, or 0x bit pattern, e.g. 0x80000048).
    bool Signed(std::string_view key, LONG fallback, LONG& out, std::vector<ConfigProblem>& problems) const;
};

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
    DWORD lowAPIVersion = 0x00010003;  // lowest API version the device supports
    DWORD highAPIVersion = 0x00030000; // highest
    // Extension versions the device supports; 0..0 means none, and then the extension ID
    // handed out by negotiation is all zeros.
    DWORD lowExtVersion = 0;
    DWORD highExtVersion = 0;
    LINEEXTENSIONID extensionID{};
};

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
    // Releases the device at once: calls still up are torn down, pending requests are
    // forgotten, and the sink is not called any more.
    virtual void Close() = 0;

    // Places a call; destination is null for a call that stays in dial tone. 0 = accepted
    // (RequestCompleted follows), else a LINEERR code and nothing follows.
    virtual LONG MakeCall(RequestId request, CallId call, const char* destination) = 0;
    // Drops a call; on success the call goes to LINECALLSTATE_IDLE. Same reply rules.
    virtual LONG Drop(RequestId request, CallId call) = 0;
    // The service has forgotten the call (deallocated, or its line closed): stop any
    // activity for it without reporting anything.
    virtual void ReleaseCall(CallId call) = 0;
};

// A configuration key a driver reads, for the configuration dialog and the documentation.
struct DriverKeyInfo {
    std::string key;
    std::string defaultValue;
    std::string description;
};

// Makes one device from its settings; returns null (with problems saying why) when the
// settings are unusable. Problems may also be recorded for a device that is made anyway.
using DriverFactory = std::function<std::unique_ptr<LineDriver>(const LineSettings& settings,
                                                                std::vector<ConfigProblem>& problems)>;

struct DriverInfo {
    std::string name;        // the value of driver= that selects it
    std::string description; // one line for the user
    std::vector<DriverKeyInfo> keys;
    DriverFactory create;
    // A driver that dials digits (a modem) gets a number in international form ("+...")
    // turned into the digits to dial from the configured location; one that takes
    // international numbers as they are (SIP, a mobile phone) gets it with its "+".
    bool dialsDigits = true;
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

// Registers every driver built into the program (drivers/Builtin.cpp).
void RegisterBuiltinDrivers(DriverRegistry& registry);

} // namespace localtapi
