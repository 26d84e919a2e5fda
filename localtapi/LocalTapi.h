// LocalTapi: the local telephony service, the telephony API on systems without TAPI.
//
// Implements every operation of mTAPIDecs::TapiApi (ANSI forms) over the line devices that
// the configured drivers provide, with TAPI's checks and LINEERR codes. Handles of
// applications, lines and calls come from one counter and are never reused in a run, so a
// stale or mixed-up handle is always rejected. Request IDs are positive and increasing.
// This class keeps the handle tables and the operations; messages are MessageDelivery's,
// the checks Checks', LINEDEVCAPS WriteDevCaps', making drivers LoadDevice's, and the
// trace a layer over the seam (telephony/trace).
//
// A line device may be open several times at once (by one application or several); its
// driver opens the device on the first lineOpen and releases it on the last lineClose.
// Line-device events go to every open line of the device; a call belongs to the line that
// made it.
//
// What happens to messages when things end:
// - lineShutdown: nothing more of that application is delivered, queued or not.
// - lineClose: the line's calls are dropped and their handles become invalid. Every
//   request still outstanding on the line gets its LINE_REPLY all the same (a drop
//   succeeds, a call request fails with LINEERR_OPERATIONFAILED) so that each request ID
//   is answered exactly once; every other message of that line, queued or not, is
//   discarded.
// - lineDeallocateCall: queued call-state messages of that call are discarded; a drop
//   still outstanding on it is answered with success. A call that is not idle may be
//   deallocated on a line opened with API version 2.0 or later (the call is dropped);
//   below 2.0 that is LINEERR_INVALCALLSTATE.
// - A device that disappears: outstanding requests are answered as for lineClose, then
//   LINE_CLOSE tells each application that its line is gone.
//
// The dialogs and icons need a user interface; the core leaves them to a ServiceUi (see
// localtapi/qt) and answers LINEERR_OPERATIONUNAVAIL without one.
//
// Threads: the service is used from one thread, the one that runs the Qt event loop.
// It does not lock.
#pragma once

#include "localtapi/Configuration.h"
#include "localtapi/LineDriver.h"
#include "localtapi/MessageDelivery.h"

#include <chrono>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace localtapi {

// The user-interface half of the service: dialogs and icons (Qt Widgets, localtapi/qt).
class ServiceUi {
  public:
    virtual ~ServiceUi() = default;
    using Validate = std::function<std::vector<ConfigProblem>(const LineSettings&)>;
    // The device's settings dialog, modal, owned by owner; the edited settings when
    // accepted (validate tells whether the driver accepts them), nothing when cancelled.
    virtual std::optional<LineSettings> EditLine(HWND owner, DWORD deviceID, const LineSettings& current,
                                                 const DriverRegistry& drivers, const Validate& validate) = 0;
    // The dialing properties dialog; the edited location when accepted.
    virtual std::optional<Location> EditLocation(HWND owner, const std::string& number,
                                                 const Location& current) = 0;
    // A new icon for a device of the given driver; null on failure.
    virtual HICON CreateIcon(const std::string& driver) = 0;
    virtual bool DrawIcon(HDC hdc, int x, int y, HICON icon, int width, int height) = 0;
    virtual void DestroyIcon(HICON icon) = 0;
};

class LocalTapi : public mTAPIDecs::TapiApi {
  public:
    struct Options {
        Configuration configuration;
        std::function<void(DriverRegistry&)> drivers = RegisterBuiltinDrivers;
        std::ostream* errors = nullptr; // configuration problems; null: stderr
    };
    explicit LocalTapi(Options options);
    ~LocalTapi() override;

    void SetUi(std::unique_ptr<ServiceUi> ui);
    // Where the drivers' remarks go besides the problem list: the trace, when there is one.
    void SetNotes(std::function<void(const std::string&)> notes);
    // Runs the event loop until no device is still finishing something after its last
    // close (a modem hanging up), or until limit has passed; true when none is.
    bool WaitForDevices(std::chrono::milliseconds limit);
    const DriverRegistry& Drivers() const { return registry; }
    const Configuration& CurrentConfiguration() const { return config; }

    // Takes the configuration file read again after a change: a device whose group now says
    // something else gets the new settings at its next open (at once when it is closed);
    // the dialing properties apply at once. Groups added or removed count from the next
    // start. A file that cannot be read changes nothing; its problems are reported.
    void Reload(const Configuration& fresh);

    // With no line device: what the user is told about it (what the configuration file
    // lacked, its first problem, how to add a line); empty when there are devices.
    std::string NoLineExplanation() const;

    // What the service holds, for tests and diagnostics.
    struct Census {
        size_t apps = 0;
        size_t lines = 0;
        size_t calls = 0;
        size_t requests = 0;
        size_t queuedMessages = 0;
        size_t icons = 0;
        size_t devices = 0;
    };
    Census census() const;

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
    // The driver's own words for the user since the device's last open or call began (the
    // port missing, oFono not running, the server refusing the password), else the way
    // its last call was disconnected ("the number is busy"); empty when neither failed.
    std::string FailureReason(DWORD dwDeviceID) override;

  private:
    // Forwards one device's driver reports to the service.
    class DeviceSink final : public LineDriverSink {
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
    struct Device {
        DWORD id = 0;
        LineSettings settings;
        std::unique_ptr<LineDriver> driver;
        DeviceCaps caps;
        std::unique_ptr<DeviceSink> sink;
        std::set<HLINE> openLines; // the driver is open while this is not empty
        bool opening = false;      // the driver's Open is running
        bool removed = false;
        std::optional<LineSettings> pending; // edited settings, applied once the device is closed
        std::string failure; // the user's words on why its last open or call failed
    };
    struct Line {
        HLINE handle = 0;
        HLINEAPP app = 0;
        DWORD device = 0;
        DWORD_PTR instance = 0;
        DWORD version = 0;
    };
    struct Call {
        HCALL handle = 0;
        HLINE line = 0;
        DWORD device = 0;
        DWORD state = 0;
        bool established = false; // its call request succeeded
        bool privilegeSent = false;
    };
    struct Request {
        RequestId id = 0;
        HLINEAPP app = 0;
        HLINE line = 0;
        HCALL call = 0;
        bool makeCall = false;
        LPHCALL writeTo = nullptr;
    };
    using Operation = MessageDelivery::Operation;

    void LoadDevices();
    DWORD NewHandle() { return nextHandle++; }
    LONG CheckDevice(DWORD deviceID) const;
    bool HasApp(HLINEAPP h) const { return apps.count(h) != 0; }
    Line* FindLine(HLINE h);
    Call* FindCall(HCALL h);
    LONG NewRequest(const Request& request, RequestId& id);

    void Post(HLINEAPP app, const Message& m) { delivery.Post(app, m); }
    void CloseLine(HLINE line, bool deviceGone);
    void ShutdownApp(HLINEAPP app);
    void ForgetCall(HCALL call);

    // From the drivers.
    void OnRequestCompleted(DWORD device, RequestId request, LONG result);
    void OnCallState(DWORD device, CallId call, DWORD state, DWORD mode);
    void OnLineDevState(DWORD device, DWORD state, DWORD p2, DWORD p3);
    void OnDeviceRemoved(DWORD device);
    void ApplyPendingSettings(Device& device);
    void Adopt(Device& device, std::unique_ptr<LineDriver> driver);
    void NoteDisconnect(Device& device, DWORD mode);

    Configuration config;
    DriverRegistry registry;
    std::ostream* errors;
    std::unique_ptr<ServiceUi> ui;
    std::function<void(const std::string&)> notes;
    std::vector<std::string> problems; // of the configuration and the drivers, at the last load
    std::string firstLineLost;         // the first of them that cost a line device

    std::vector<std::unique_ptr<Device>> devices;
    std::map<HLINEAPP, std::string> apps; // registered applications and their names
    std::map<HLINE, Line> lines;
    std::map<HCALL, Call> calls;
    std::map<RequestId, Request> requests;
    std::set<HICON> icons;

    DWORD nextHandle = 0x00010001;
    RequestId nextRequest = 1;
    // Last: destroyed first, so that no delivery runs while the tables above go away.
    MessageDelivery delivery;
};

} // namespace localtapi
