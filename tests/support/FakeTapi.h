// A scripted stand-in for the telephony API seam: records every call (a null text as nullopt) and
// its name in `log`, answers with programmed results; messages arrive only through deliver().
#pragma once

#include "telephony/mTAPIDecs.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace testsupport {

// A LINEDEVCAPS image of the full capability-buffer size, written at byte offsets.
struct DevCapsImage {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(mTAPIDecs::kDevCapsBufferSize);
    DevCapsImage& set(std::size_t offset, DWORD value) {
        std::memcpy(bytes.data() + offset, &value, sizeof value);
        return *this;
    }
    // A text field's size/offset pair at sizeFieldOffset, and the bytes that fit at `offset`.
    DevCapsImage& text(std::size_t sizeFieldOffset, DWORD offset, std::string_view text) {
        set(sizeFieldOffset, static_cast<DWORD>(text.size())).set(sizeFieldOffset + sizeof(DWORD), offset);
        for (std::size_t i = 0; i < text.size() && std::size_t{offset} + i < bytes.size(); ++i)
            bytes[offset + i] = static_cast<unsigned char>(text[i]);
        return *this;
    }
};

// Recorded calls; FakeTapi::clearRecords() resets all of them.
struct FakeTapiRecords {
    struct InitializeCall {
        HINSTANCE instance;
        LINECALLBACK callback;
        std::optional<std::string> appName;
        LINEINITIALIZEEXPARAMS params;
    };
    struct NegotiateCall {
        HLINEAPP lineApp;
        DWORD deviceID, lowVersion, highVersion;
    };
    struct DevCapsCall {
        DWORD deviceID, apiVersion, extVersion, totalSize;
    };
    struct OpenCall {
        HLINEAPP lineApp;
        DWORD deviceID, apiVersion, extVersion, privileges, mediaModes;
        DWORD_PTR instance;
    };
    struct MakeCallCall {
        HLINE line;
        std::optional<std::string> destAddress;
        DWORD countryCode;
    };
    // A dialog or icon request for one device (fields the operation lacks stay 0).
    struct DeviceCall {
        HLINEAPP lineApp;
        DWORD deviceID, apiVersion;
        HWND owner;
        std::optional<std::string> text; // the device class, or the translate dialog's address
    };
    struct DrawIconCall {
        HDC hdc;
        HICON icon;
        int left, top, width, height;
        UINT step, flags;
        HBRUSH brush;
    };

    std::vector<std::string> log; // operation names in call order
    std::vector<InitializeCall> initializeCalls;
    std::vector<NegotiateCall> negotiateCalls;
    std::vector<DevCapsCall> devCapsCalls;
    std::vector<OpenCall> openCalls;
    std::vector<MakeCallCall> makeCallCalls;
    std::vector<HCALL> dropCalls, deallocateCalls;
    std::vector<HLINE> closeCalls;
    std::vector<HLINEAPP> shutdownCalls;
    std::vector<DeviceCall> configDialogCalls, translateDialogCalls, getIconCalls;
    std::vector<DrawIconCall> drawIconCalls;
    std::vector<HICON> destroyIconCalls;
};

class FakeTapi : public mTAPIDecs::TapiApi, public FakeTapiRecords {
  public:
    // What one line device answers; out-values are written back whatever the result.
    struct Device {
        LONG negotiateResult = 0;
        DWORD apiVersion = 0x00020000;
        LINEEXTENSIONID extensionID{};
        LONG devCapsResult = 0;
        DevCapsImage devCaps;
    };

    LONG initializeResult = 0;
    HLINEAPP lineAppHandle = 0x0A00;
    std::vector<Device> devices;
    std::optional<DWORD> highestVersionSupported; // written back into the caller's HiAPI
    LONG openResult = 0;
    HLINE lineHandle = 0x0B00;
    LONG makeCallResult = 1; // a positive value is the request ID
    HCALL callHandle = 0x0C00;
    LONG dropResult = 2;
    LONG deallocateResult = 0, closeResult = 0, configDialogResult = 0, translateDialogResult = 0;
    LONG getIconResult = 0;
    HICON icon = reinterpret_cast<HICON>(std::uintptr_t{0x0D00});
    std::string failureReason; // the telephony's own words on a failure, for every device

    std::size_t count(std::string_view op) const {
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), op));
    }
    void clearRecords() { static_cast<FakeTapiRecords&>(*this) = {}; }

    // Sends a message through the registered callback, by default with the instance of the latest
    // lineOpen (throws when there is none: lineShutdown ends the registration).
    void deliver(DWORD message, DWORD_PTR param1 = 0, DWORD_PTR param2 = 0, DWORD hDevice = 0,
                 std::optional<DWORD_PTR> instance = std::nullopt) {
        callback_(hDevice, message, instance ? *instance : instance_.value(), param1, param2, 0);
    }

    LONG lineInitializeExA(LPHLINEAPP app, HINSTANCE instance, LINECALLBACK callback, LPCSTR name,
                           LPDWORD numDevs, LPDWORD apiVersion, LPLINEINITIALIZEEXPARAMS params) override {
        record("lineInitializeExA", initializeCalls, {instance, callback, Text(name), *params});
        callback_ = callback;
        *app = lineAppHandle;
        *numDevs = static_cast<DWORD>(devices.size());
        *apiVersion = highestVersionSupported.value_or(*apiVersion); // all written on failure too
        return initializeResult;
    }
    LONG lineNegotiateAPIVersion(HLINEAPP app, DWORD id, DWORD low, DWORD high, LPDWORD apiVersion,
                                 LPLINEEXTENSIONID extensionID) override {
        record("lineNegotiateAPIVersion", negotiateCalls, {app, id, low, high});
        if (id >= devices.size())
            return LINEERR_BADDEVICEID;
        *apiVersion = devices[id].apiVersion;
        *extensionID = devices[id].extensionID;
        return devices[id].negotiateResult;
    }
    LONG lineGetDevCapsA(HLINEAPP, DWORD id, DWORD apiVersion, DWORD extVersion,
                         LPLINEDEVCAPS caps) override {
        const DWORD totalSize = caps->dwTotalSize;
        record("lineGetDevCapsA", devCapsCalls, {id, apiVersion, extVersion, totalSize});
        if (id >= devices.size())
            return LINEERR_BADDEVICEID;
        // No more than the caller's buffer holds; written on failure too.
        const auto& image = devices[id].devCaps.bytes;
        std::memcpy(caps, image.data(), std::min<std::size_t>(image.size(), totalSize));
        caps->dwTotalSize = totalSize;
        return devices[id].devCapsResult;
    }
    LONG lineOpen(HLINEAPP app, DWORD id, LPHLINE line, DWORD apiVersion, DWORD extVersion,
                  DWORD_PTR instance, DWORD privileges, DWORD mediaModes, LPLINECALLPARAMS) override {
        record("lineOpen", openCalls, {app, id, apiVersion, extVersion, privileges, mediaModes, instance});
        if (openResult != 0)
            return openResult;
        *line = lineHandle;
        instance_ = instance;
        return 0;
    }
    LONG lineMakeCallA(HLINE line, LPHCALL call, LPCSTR address, DWORD countryCode,
                       LPLINECALLPARAMS) override {
        if (makeCallResult > 0)
            *call = callHandle;
        return record("lineMakeCallA", makeCallCalls, {line, Text(address), countryCode}, makeCallResult);
    }
    LONG lineDrop(HCALL call, LPCSTR, DWORD) override {
        return record("lineDrop", dropCalls, call, dropResult);
    }
    LONG lineDeallocateCall(HCALL call) override {
        return record("lineDeallocateCall", deallocateCalls, call, deallocateResult);
    }
    LONG lineClose(HLINE line) override { return record("lineClose", closeCalls, line, closeResult); }
    LONG lineShutdown(HLINEAPP app) override {
        instance_.reset(); // no message reaches a line application that has shut down
        return record("lineShutdown", shutdownCalls, app);
    }
    LONG lineConfigDialogA(DWORD id, HWND owner, LPCSTR deviceClass) override {
        return record("lineConfigDialogA", configDialogCalls, {0, id, 0, owner, Text(deviceClass)},
                      configDialogResult);
    }
    LONG lineTranslateDialogA(HLINEAPP app, DWORD id, DWORD apiVersion, HWND owner, LPCSTR address) override {
        return record("lineTranslateDialogA", translateDialogCalls,
                      {app, id, apiVersion, owner, Text(address)}, translateDialogResult);
    }
    LONG lineGetIconA(DWORD id, LPCSTR deviceClass, LPHICON result) override {
        if (getIconResult == 0)
            *result = icon;
        return record("lineGetIconA", getIconCalls, {0, id, 0, nullptr, Text(deviceClass)}, getIconResult);
    }
    BOOL DrawIconEx(HDC hdc, int left, int top, HICON hIcon, int width, int height, UINT step, HBRUSH brush,
                    UINT flags) override {
        return record("DrawIconEx", drawIconCalls, {hdc, hIcon, left, top, width, height, step, flags, brush},
                      1);
    }
    BOOL DestroyIcon(HICON hIcon) override { return record("DestroyIcon", destroyIconCalls, hIcon, 1); }
    std::string FailureReason(DWORD) override { return failureReason; }

  private:
    static std::optional<std::string> Text(LPCSTR s) {
        return s == nullptr ? std::nullopt : std::optional<std::string>(s);
    }
    template <typename T>
    LONG record(const char* op, std::vector<T>& calls, std::type_identity_t<T> call, LONG r = 0) {
        log.push_back(op);
        calls.push_back(std::move(call));
        return r;
    }

    LINECALLBACK callback_ = nullptr;
    std::optional<DWORD_PTR> instance_;
};

} // namespace testsupport
