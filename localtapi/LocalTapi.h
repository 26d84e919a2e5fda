// LocalTapi: the local telephony service, the telephony API on systems without TAPI.
//
// Implements every operation of mTAPIDecs::TapiApi (ANSI forms) over the line devices that
// the configured drivers provide, with TAPI's checks and LINEERR codes. Handles of
// applications, lines and calls come from one counter and are never reused in a run, so a
// stale or mixed-up handle is always rejected. Request IDs are positive and increasing.
//
// Messages follow TAPI's hidden-window option: each is queued for the application and
// handed to its LINECALLBACK from the event loop of the thread that called
// lineInitializeExA, one message per event, so they also arrive inside modal dialogs and
// message boxes. They are never delivered while a telephony operation is running (a
// driver or a dialog may run a nested event loop inside one); delivery then waits until
// the outermost operation returns. A callback may call the service again.
//
// What happens to messages when things end:
// - lineShutdown: nothing more of that application is delivered, queued or not.
// - lineClose: the line's calls are dropped and their handles become invalid. Every
//   request still outstanding on the line gets its LINE_REPLY all the same (a drop
//   succeeds, a call request fails with LINEERR_OPERATIONFAILED) so that each request ID
//   is answered exactly once; every other message of that line, queued or not, is
//   discarded.
// - lineDeallocateCall: queued call-state messages of that call are discarded; a drop
//   still outstanding on it is answered with success.
// - A device that disappears: outstanding requests are answered as for lineClose, then
//   LINE_CLOSE tells the application that its line is gone.
//
// The dialogs and icons need a user interface; the core leaves them to a ServiceUi (see
// localtapi/ui) and answers LINEERR_OPERATIONUNAVAIL without one.
//
// Threads: the service is used from one thread, the one that runs the Qt event loop.
// It does not lock.
#pragma once

#include "Configuration.h"
#include "LineDriver.h"
#include "Trace.h"

#include <QObject>

#include <deque>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace localtapi {

// The user-interface half of the service: dialogs and icons (Qt Widgets, localtapi/ui).
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
    // Highest API version the service implements, and the lowest it accepts.
    static constexpr DWORD kServiceVersion = 0x00030000;
    static constexpr DWORD kLowestVersion = 0x00010003;

    struct Options {
        Configuration configuration;
        std::unique_ptr<Trace> trace; // null: no trace
        std::function<void(DriverRegistry&)> drivers = RegisterBuiltinDrivers;
        std::ostream* errors = nullptr; // configuration problems; null: stderr
    };
    explicit LocalTapi(Options options);
    ~LocalTapi() override;

    void SetUi(std::unique_ptr<ServiceUi> ui);
    const DriverRegistry& Drivers() const { return registry; }
    const Configuration& CurrentConfiguration() const { return config; }

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

  private:
    struct Device;
    struct App;
    struct Line;
    struct Call;
    struct Request;
    struct Message {
        DWORD hDevice;
        DWORD message;
        DWORD_PTR instance;
        DWORD_PTR p1, p2, p3;
        HLINE line;        // the line it belongs to (0: none)
        HCALL call;        // the call it is about (0: none)
        LPHCALL writeCall; // a successful call request's reply stores the call handle here
        HCALL callHandle;
    };
    class DeviceSink;
    class Receiver;
    friend class Receiver;
    friend class DeviceSink;

    // Marks a telephony operation in progress: messages wait until the outermost returns.
    class Operation {
      public:
        explicit Operation(LocalTapi& s) : service(s) { ++service.depth; }
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

      private:
        LocalTapi& service;
    };

    void LoadDevices();
    DWORD NewHandle() { return nextHandle++; }
    LONG Traced(const TraceLine& line, LONG result);
    LONG CheckDevice(DWORD deviceID) const;
    static bool ValidDeviceClass(LPCSTR deviceClass);
    App* FindApp(HLINEAPP h);
    Line* FindLine(HLINE h);
    Call* FindCall(HCALL h);

    void Post(HLINEAPP app, const Message& m);
    void Kick(App& app);
    void DeliverOne(HLINEAPP app);
    void CloseLine(HLINE line, bool deviceGone);
    void ShutdownApp(HLINEAPP app);

    // From the drivers.
    void OnRequestCompleted(DWORD device, RequestId request, LONG result);
    void OnCallState(DWORD device, CallId call, DWORD state, DWORD mode);
    void OnLineDevState(DWORD device, DWORD state, DWORD p2, DWORD p3);
    void OnDeviceRemoved(DWORD device);
    void ApplyPendingSettings(Device& device);

    Configuration config;
    DriverRegistry registry;
    std::unique_ptr<Trace> trace;
    std::ostream* errors;
    std::unique_ptr<ServiceUi> ui;
    std::vector<std::string> problems; // of the configuration and the drivers, at the last load

    std::vector<std::unique_ptr<Device>> devices;
    std::map<HLINEAPP, std::unique_ptr<App>> apps;
    std::map<HLINE, Line> lines;
    std::map<HCALL, Call> calls;
    std::map<RequestId, Request> requests;
    std::set<HICON> icons;

    DWORD nextHandle = 0x00010001;
    RequestId nextRequest = 1;
    int depth = 0;
    bool deliveryWaiting = false;
    std::multiset<const QObject*> dispatching; // receivers whose callback is running
    // Expires with the service, so that a delivery can tell whether its callback
    // destroyed the service.
    std::shared_ptr<const void> alive = std::make_shared<int>(0);
};

} // namespace localtapi
