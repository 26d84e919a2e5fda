#include "FakeTapi.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace testsupport {

namespace {

std::optional<std::string> Text(LPCSTR s) {
    if (s == nullptr)
        return std::nullopt;
    return std::string(s);
}

} // namespace

DevCapsImage& DevCapsImage::set(std::size_t offset, DWORD value) {
    if (offset <= bytes_.size() && bytes_.size() - offset >= sizeof value)
        std::memcpy(bytes_.data() + offset, &value, sizeof value);
    return *this;
}

DevCapsImage& DevCapsImage::text(std::size_t sizeFieldOffset, DWORD offset, std::string_view text,
                                 std::optional<DWORD> declaredSize) {
    set(sizeFieldOffset, declaredSize.value_or(static_cast<DWORD>(text.size())));
    set(sizeFieldOffset + sizeof(DWORD), offset);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t at = std::size_t{offset} + i;
        if (at < bytes_.size())
            bytes_[at] = static_cast<unsigned char>(text[i]);
    }
    return *this;
}

std::size_t FakeTapi::count(std::string_view operation) const {
    return static_cast<std::size_t>(std::count(log.begin(), log.end(), operation));
}

void FakeTapi::clearRecords() {
    log.clear();
    initializeCalls.clear();
    negotiateCalls.clear();
    devCapsCalls.clear();
    openCalls.clear();
    makeCallCalls.clear();
    dropCalls.clear();
    deallocateCalls.clear();
    closeCalls.clear();
    shutdownCalls.clear();
    configDialogCalls.clear();
    translateDialogCalls.clear();
    getIconCalls.clear();
    drawIconCalls.clear();
    destroyIconCalls.clear();
}

void FakeTapi::deliver(DWORD message, DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3, DWORD hDevice) {
    if (!instance_)
        throw std::logic_error("FakeTapi::deliver: no line is registered for messages");
    deliverWithInstance(*instance_, message, param1, param2, param3, hDevice);
}

void FakeTapi::deliverWithInstance(DWORD_PTR instance, DWORD message, DWORD_PTR param1, DWORD_PTR param2,
                                   DWORD_PTR param3, DWORD hDevice) {
    if (callback_ == nullptr)
        throw std::logic_error("FakeTapi::deliver: lineInitializeExA has not been called");
    // Copy first: the dispatch may end the registration (and this fake's record of it).
    const LINECALLBACK callback = callback_;
    callback(hDevice, message, instance, param1, param2, param3);
}

DWORD FakeTapi::numLines() const {
    return numLinesOverride.value_or(static_cast<DWORD>(devices.size()));
}

const FakeTapi::Device* FakeTapi::device(DWORD id) const {
    return id < devices.size() ? &devices[id] : nullptr;
}

LONG FakeTapi::lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                                 LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                                 LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) {
    log.push_back("lineInitializeExA");
    InitializeCall call{hInstance, lpfnCallback, Text(lpszFriendlyAppName), *lpdwAPIVersion, {}};
    std::memcpy(&call.params, lpLineInitializeExParams, sizeof call.params);
    initializeCalls.push_back(call);
    callback_ = lpfnCallback;
    if (initializeResult != 0)
        return initializeResult;
    *lphLineApp = lineAppHandle;
    *lpdwNumDevs = numLines();
    if (highestVersionSupported)
        *lpdwAPIVersion = *highestVersionSupported;
    return 0;
}

LONG FakeTapi::lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                       DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                       LPLINEEXTENSIONID lpExtensionID) {
    log.push_back("lineNegotiateAPIVersion");
    negotiateCalls.push_back({hLineApp, dwDeviceID, dwAPILowVersion, dwAPIHighVersion});
    const Device* d = device(dwDeviceID);
    if (d == nullptr)
        return LINEERR_BADDEVICEID;
    *lpdwAPIVersion = d->apiVersion;
    *lpExtensionID = d->extensionID;
    return d->negotiateResult;
}

LONG FakeTapi::lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                               LPLINEDEVCAPS lpLineDevCaps) {
    log.push_back("lineGetDevCapsA");
    const DWORD totalSize = lpLineDevCaps->dwTotalSize;
    devCapsCalls.push_back({hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion, totalSize});
    const Device* d = device(dwDeviceID);
    if (d == nullptr)
        return LINEERR_BADDEVICEID;
    // Fill no more than the caller said its buffer holds, and keep its dwTotalSize. The
    // image is written on failure too: the buffer's content is undefined then, and the
    // caller must not take it for capabilities.
    const auto& image = d->devCaps.bytes();
    const std::size_t n = std::min<std::size_t>(image.size(), totalSize);
    std::memcpy(lpLineDevCaps, image.data(), n);
    lpLineDevCaps->dwTotalSize = totalSize;
    return d->devCapsResult;
}

LONG FakeTapi::lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                        DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                        DWORD dwMediaModes, LPLINECALLPARAMS lpCallParams) {
    log.push_back("lineOpen");
    openCalls.push_back({hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion, dwCallbackInstance, dwPrivileges,
                         dwMediaModes, lpCallParams == nullptr});
    if (openResult != 0)
        return openResult;
    *lphLine = lineHandle;
    instance_ = dwCallbackInstance;
    return 0;
}

LONG FakeTapi::lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                             LPLINECALLPARAMS lpCallParams) {
    log.push_back("lineMakeCallA");
    makeCallCalls.push_back({hLine, Text(lpszDestAddress), dwCountryCode, lpCallParams == nullptr});
    if (makeCallResult > 0)
        *lphCall = callHandle;
    return makeCallResult;
}

LONG FakeTapi::lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    log.push_back("lineDrop");
    dropCalls.push_back({hCall, lpsUserUserInfo == nullptr, dwSize});
    return dropResult;
}

LONG FakeTapi::lineDeallocateCall(HCALL hCall) {
    log.push_back("lineDeallocateCall");
    deallocateCalls.push_back(hCall);
    return deallocateResult;
}

LONG FakeTapi::lineClose(HLINE hLine) {
    log.push_back("lineClose");
    closeCalls.push_back(hLine);
    return closeResult;
}

LONG FakeTapi::lineShutdown(HLINEAPP hLineApp) {
    log.push_back("lineShutdown");
    shutdownCalls.push_back(hLineApp);
    instance_.reset(); // no message reaches a line application that has shut down
    return shutdownResult;
}

LONG FakeTapi::lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass) {
    log.push_back("lineConfigDialogA");
    configDialogCalls.push_back({dwDeviceID, hwndOwner, Text(lpszDeviceClass)});
    return configDialogResult;
}

LONG FakeTapi::lineTranslateDialogA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                                    LPCSTR lpszAddressIn) {
    log.push_back("lineTranslateDialogA");
    translateDialogCalls.push_back({hLineApp, dwDeviceID, dwAPIVersion, hwndOwner, Text(lpszAddressIn)});
    return translateDialogResult;
}

LONG FakeTapi::lineGetIconA(DWORD dwDeviceID, LPCSTR lpszDeviceClass, LPHICON lphIcon) {
    log.push_back("lineGetIconA");
    getIconCalls.push_back({dwDeviceID, Text(lpszDeviceClass)});
    if (getIconResult != 0)
        return getIconResult;
    *lphIcon = icon;
    return 0;
}

BOOL FakeTapi::DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                          UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
    log.push_back("DrawIconEx");
    drawIconCalls.push_back(
        {hdc, xLeft, yTop, hIcon, cxWidth, cyWidth, istepIfAniCur, hbrFlickerFreeDraw, diFlags});
    return 1;
}

BOOL FakeTapi::DestroyIcon(HICON hIcon) {
    log.push_back("DestroyIcon");
    destroyIconCalls.push_back(hIcon);
    return 1;
}

} // namespace testsupport
