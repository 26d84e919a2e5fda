// FakeTapi: a scripted stand-in for the telephony API, for tests of the line object and
// of anything built on it.
//
// Every operation of mTAPIDecs::TapiApi is recorded with its arguments (texts copied,
// a null text recorded as std::nullopt) and answered with the result and out-values the
// test programmed beforehand, per device where the operation takes a device ID. The
// names of all operations, in call order, are kept in `log` so that a test can check the
// order of releases. deliver() sends a telephony message through the callback and the
// callback instance that the code under test registered, exactly as the system would.
//
// What it does not do: no timing, no threads, no queued messages of its own. Messages
// arrive only when the test calls deliver().
#pragma once

#include "mTAPIDecs.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// A LINEDEVCAPS image of the full capability-buffer size, written field by field at byte
// offsets, so that a test can place text fields anywhere, also at hostile offsets.
class DevCapsImage {
  public:
    DevCapsImage() : bytes_(mTAPIDecs::kDevCapsBufferSize, 0) {}

    // Writes a 32-bit value at a byte offset (ignored where it would not fit).
    DevCapsImage& set(std::size_t offset, DWORD value);
    // Writes a text field: its size and offset into the size/offset pair that starts at
    // sizeFieldOffset, and its bytes at `offset` (only those that fall inside the image).
    // `declaredSize` defaults to the length of `text`.
    DevCapsImage& text(std::size_t sizeFieldOffset, DWORD offset, std::string_view text,
                       std::optional<DWORD> declaredSize = std::nullopt);

    const std::vector<unsigned char>& bytes() const { return bytes_; }

  private:
    std::vector<unsigned char> bytes_;
};

class FakeTapi : public mTAPIDecs::TapiApi {
  public:
    // ---- Programmed behaviour ----

    // What one line device answers.
    struct Device {
        LONG negotiateResult = 0;
        // Written back by lineNegotiateAPIVersion whatever its result, as a system may
        // scribble on out-values of a failed call.
        DWORD apiVersion = 0x00020000;
        LINEEXTENSIONID extensionID{};
        LONG devCapsResult = 0;
        DevCapsImage devCaps; // written by lineGetDevCapsA whatever its result
    };

    LONG initializeResult = 0;
    HLINEAPP lineAppHandle = 0x0A00;
    std::vector<Device> devices; // numLines is devices.size() unless numLinesOverride is set
    std::optional<DWORD> numLinesOverride;
    std::optional<DWORD> highestVersionSupported; // written back into the caller's HiAPI

    LONG openResult = 0;
    HLINE lineHandle = 0x0B00;
    LONG makeCallResult = 1; // a positive value is the request ID
    HCALL callHandle = 0x0C00;
    LONG dropResult = 2;
    LONG deallocateResult = 0;
    LONG closeResult = 0;
    LONG shutdownResult = 0;
    LONG configDialogResult = 0;
    LONG translateDialogResult = 0;
    LONG getIconResult = 0;
    HICON icon = reinterpret_cast<HICON>(std::uintptr_t{0x0D00});

    // ---- Recorded calls ----

    struct InitializeCall {
        HINSTANCE instance;
        LINECALLBACK callback;
        std::optional<std::string> appName;
        DWORD apiVersionIn;
        LINEINITIALIZEEXPARAMS params;
    };
    struct NegotiateCall {
        HLINEAPP lineApp;
        DWORD deviceID;
        DWORD lowVersion;
        DWORD highVersion;
    };
    struct DevCapsCall {
        HLINEAPP lineApp;
        DWORD deviceID;
        DWORD apiVersion;
        DWORD extVersion;
        DWORD totalSize;
    };
    struct OpenCall {
        HLINEAPP lineApp;
        DWORD deviceID;
        DWORD apiVersion;
        DWORD extVersion;
        DWORD_PTR instance;
        DWORD privileges;
        DWORD mediaModes;
        bool callParamsNull;
    };
    struct MakeCallCall {
        HLINE line;
        std::optional<std::string> destAddress;
        DWORD countryCode;
        bool callParamsNull;
    };
    struct DropCall {
        HCALL call;
        bool userInfoNull;
        DWORD userInfoSize;
    };
    struct ConfigDialogCall {
        DWORD deviceID;
        HWND owner;
        std::optional<std::string> deviceClass;
    };
    struct TranslateDialogCall {
        HLINEAPP lineApp;
        DWORD deviceID;
        DWORD apiVersion;
        HWND owner;
        std::optional<std::string> addressIn;
    };
    struct GetIconCall {
        DWORD deviceID;
        std::optional<std::string> deviceClass;
    };
    struct DrawIconCall {
        HDC hdc;
        int left;
        int top;
        HICON icon;
        int width;
        int height;
        UINT step;
        HBRUSH brush;
        UINT flags;
    };

    std::vector<std::string> log; // operation names in call order
    std::vector<InitializeCall> initializeCalls;
    std::vector<NegotiateCall> negotiateCalls;
    std::vector<DevCapsCall> devCapsCalls;
    std::vector<OpenCall> openCalls;
    std::vector<MakeCallCall> makeCallCalls;
    std::vector<DropCall> dropCalls;
    std::vector<HCALL> deallocateCalls;
    std::vector<HLINE> closeCalls;
    std::vector<HLINEAPP> shutdownCalls;
    std::vector<ConfigDialogCall> configDialogCalls;
    std::vector<TranslateDialogCall> translateDialogCalls;
    std::vector<GetIconCall> getIconCalls;
    std::vector<DrawIconCall> drawIconCalls;
    std::vector<HICON> destroyIconCalls;

    // Number of recorded calls of one operation.
    std::size_t count(std::string_view operation) const;
    // Forgets every recorded call (the programmed behaviour stays).
    void clearRecords();

    // ---- Messages ----

    // Sends one message through the callback given to lineInitializeExA, with the callback
    // instance of the latest successful lineOpen. Throws std::logic_error when there is no
    // callback or no open registration (lineShutdown ends it, as the system stops sending).
    void deliver(DWORD message, DWORD_PTR param1 = 0, DWORD_PTR param2 = 0, DWORD_PTR param3 = 0,
                 DWORD hDevice = 0);
    // The same with an explicit callback instance (0 included).
    void deliverWithInstance(DWORD_PTR instance, DWORD message, DWORD_PTR param1 = 0, DWORD_PTR param2 = 0,
                             DWORD_PTR param3 = 0, DWORD hDevice = 0);
    // The instance of the latest successful lineOpen, if the registration is alive.
    std::optional<DWORD_PTR> registeredInstance() const { return instance_; }

    // ---- mTAPIDecs::TapiApi ----
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
    DWORD numLines() const;
    const Device* device(DWORD id) const;

    LINECALLBACK callback_ = nullptr;
    std::optional<DWORD_PTR> instance_;
};

} // namespace testsupport
