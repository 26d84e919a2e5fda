#include "telephony/CvbTAPILine.h"

#include "telephony/AnsiText.h"
#include "telephony/mTAPIConsts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The application's title, given to the telephony service as its friendly name.
constexpr const char* kApplicationTitle = "OrvoDial";

// Null for empty text, the ANSI bytes otherwise.
const char* OrNull(const std::string& ansi) {
    return ansi.empty() ? nullptr : ansi.c_str();
}

} // namespace

std::shared_ptr<CvbTAPILine> CvbTAPILine::New(std::shared_ptr<mTAPIDecs::TapiApi> api) {
    return std::make_shared<CvbTAPILine>(Passkey{}, std::move(api));
}

CvbTAPILine::CvbTAPILine(Passkey, std::shared_ptr<mTAPIDecs::TapiApi> tapi) : api(std::move(tapi)) {}

CvbTAPILine::~CvbTAPILine() {
    ReleaseRegistration();
}

// Releases what a registration holds, in the order destruction uses: the call handle,
// the line, the line application. Results are ignored; no event is raised.
void CvbTAPILine::ReleaseRegistration() {
    if (hCall != 0) {
        api->lineDeallocateCall(hCall);
        hCall = 0;
    }
    if (hLine != 0)
        CloseLine();
    if (hLineApp != 0) {
        api->lineShutdown(hLineApp);
        hLineApp = 0;
    }
}

LONG CvbTAPILine::LastError() {
    const LONG code = m_LastError;
    m_LastError = 0;
    return code;
}

std::string CvbTAPILine::ErrorString(LONG errCode) const {
    return mTAPIConsts::TAPIErrorString(errCode);
}

std::string CvbTAPILine::FailureReason(LONG code) const {
    std::string why = api->FailureReason(m_CurrentLineID);
    if (!why.empty() || code == 0)
        return why;
    why = ErrorString(code);
    if (why == "Unknown Error") { // a code without words of its own: name it
        char hex[16];
        std::snprintf(hex, sizeof hex, " (0x%08X)", static_cast<unsigned>(code));
        why += hex;
    }
    return why;
}

bool CvbTAPILine::Create() {
    // A second registration replaces the first one: let go of everything the first holds
    // so that its line application, line and call are not leaked.
    ReleaseRegistration();
    highestAPIVersion = 0;
    apiVersions.clear();
    extensionIDs.clear();
    m_numLines = 0;

    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof(LINEINITIALIZEEXPARAMS);
    params.dwNeededSize = 0;
    params.dwUsedSize = 0;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    params.Handles.hEvent = nullptr;
    params.dwCompletionKey = 0;

    const std::string title = mTAPIDecs::ToAnsi(kApplicationTitle);
    const DWORD requestedHiAPI = m_HiAPI;
    const LONG result =
        api->lineInitializeExA(&hLineApp, mTAPIDecs::ApplicationInstance(), &mTAPIvb::LineCallback,
                               title.c_str(), &m_numLines, &m_HiAPI, &params);
    if (!Succeeded(result)) {
        // The outputs of a failed call are not the system's word: no line application is
        // held (so destruction shuts nothing down) and no line device is known.
        hLineApp = 0;
        m_numLines = 0;
        m_HiAPI = requestedHiAPI;
        m_CurrentLineID = 0;
        return false;
    }
    // A current line chosen under an earlier registration may not exist in this one; the
    // object then starts again on line 0, as after construction.
    if (m_CurrentLineID >= m_numLines)
        m_CurrentLineID = 0;
    if (m_numLines < 1)
        return false;

    apiVersions.assign(m_numLines, 0);
    extensionIDs.assign(m_numLines, LINEEXTENSIONID{});
    for (DWORD i = 0; i < m_numLines; ++i) {
        LINEEXTENSIONID ext{};
        const LONG r = api->lineNegotiateAPIVersion(hLineApp, i, m_LowAPI, m_HiAPI, &apiVersions[i], &ext);
        if (r != 0) {
            apiVersions[i] = 0;
            continue;
        }
        extensionIDs[i] = ext;
        if (apiVersions[i] > highestAPIVersion)
            highestAPIVersion = apiVersions[i];
    }
    RefreshDevCaps();
    return true;
}

void CvbTAPILine::setCurrentLineID(LONG id) {
    if (id < 0 || static_cast<DWORD>(id) >= m_numLines)
        throw RuntimeError::InvalidPropertyValue();
    m_CurrentLineID = static_cast<DWORD>(id);
    RefreshDevCaps();
}

DWORD CvbTAPILine::NegotiatedAPIVersion() const {
    if (m_CurrentLineID >= apiVersions.size())
        throw RuntimeError::SubscriptOutOfRange();
    return apiVersions[m_CurrentLineID];
}

const LINEEXTENSIONID& CvbTAPILine::currentExtensionID() const {
    if (m_CurrentLineID >= extensionIDs.size())
        throw RuntimeError::SubscriptOutOfRange();
    return extensionIDs[m_CurrentLineID];
}

DWORD CvbTAPILine::ExtAPI_ID0() const {
    return currentExtensionID().dwExtensionID0;
}
DWORD CvbTAPILine::ExtAPI_ID1() const {
    return currentExtensionID().dwExtensionID1;
}
DWORD CvbTAPILine::ExtAPI_ID2() const {
    return currentExtensionID().dwExtensionID2;
}
DWORD CvbTAPILine::ExtAPI_ID3() const {
    return currentExtensionID().dwExtensionID3;
}

bool CvbTAPILine::LineSupportsVoiceCalls() const {
    return (m_BearerModes & LINEBEARERMODE_VOICE) != 0 &&
           (m_mediamodes & LINEMEDIAMODE_INTERACTIVEVOICE) != 0;
}

bool CvbTAPILine::RefreshDevCaps() {
    // The version for a line whose negotiation failed, or before the arrays exist, is 0.
    const DWORD version = m_CurrentLineID < apiVersions.size() ? apiVersions[m_CurrentLineID] : 0;
    devCapsStruct()->dwTotalSize = mTAPIDecs::kDevCapsBufferSize;
    if (!Succeeded(api->lineGetDevCapsA(hLineApp, m_CurrentLineID, version, 0, devCapsStruct())))
        return false;
    const LINEDEVCAPS& caps = *devCapsStruct();
    m_LineName = CapsString(devCaps.data(), caps.dwLineNameOffset, caps.dwLineNameSize);
    m_ProviderInfo = CapsString(devCaps.data(), caps.dwProviderInfoOffset, caps.dwProviderInfoSize);
    m_SwitchInfo = CapsString(devCaps.data(), caps.dwSwitchInfoOffset, caps.dwSwitchInfoSize);
    m_PermanentLineID = caps.dwPermanentLineID;
    m_StringFormat = caps.dwStringFormat;
    m_numAddresses = caps.dwNumAddresses;
    m_maxDataRate = caps.dwMaxRate;
    m_BearerModes = caps.dwBearerModes;
    m_AddressModes = caps.dwAddressModes;
    m_mediamodes = caps.dwMediaModes;
    m_GenerateToneMaxNumFreq = caps.dwGenerateToneMaxNumFreq;
    m_GenerateToneModes = caps.dwGenerateToneModes;
    m_numTerminals = caps.dwNumTerminals;
    return true;
}

// A text field of the capability buffer, converted from ANSI. Every byte of the field is
// kept, NULs included. A field that reaches past the buffer yields only the bytes inside
// it, and one that starts outside it yields empty text: nothing is read beyond the buffer.
std::string CvbTAPILine::CapsString(const unsigned char* buffer, DWORD offset, DWORD size) {
    if (static_cast<LONG>(size) < 1 || offset == 0 || offset >= mTAPIDecs::kDevCapsBufferSize)
        return {};
    const DWORD available = mTAPIDecs::kDevCapsBufferSize - offset;
    const DWORD count = std::min(size, available);
    return mTAPIDecs::FromAnsi(reinterpret_cast<const char*>(buffer + offset), count);
}

// A synchronous operation's result: 0 is success; a failure's code is kept for LastError.
bool CvbTAPILine::Succeeded(LONG result) {
    if (result == 0)
        return true;
    m_LastError = result;
    return false;
}

// An asynchronous request's result: a positive one is its request ID, kept in requestID;
// anything else is a failure, whose code is kept for LastError.
bool CvbTAPILine::Requested(LONG result, DWORD& requestID) {
    if (result > 0) {
        requestID = static_cast<DWORD>(result);
        return true;
    }
    m_LastError = result;
    return false;
}

bool CvbTAPILine::OpenLine(DWORD privileges, DWORD mediamodes) {
    if (hLine != 0)
        return false;
    if (m_CurrentLineID >= apiVersions.size())
        throw RuntimeError::SubscriptOutOfRange();
    return Succeeded(api->lineOpen(hLineApp, m_CurrentLineID, &hLine, apiVersions[m_CurrentLineID], 0,
                                   reinterpret_cast<DWORD_PTR>(this), privileges, mediamodes, nullptr));
}

bool CvbTAPILine::MakeCallAsynch(const std::string& phonenumber) {
    if (hLine == 0)
        return false;
    const std::string number = mTAPIDecs::ToAnsi(phonenumber);
    return Requested(api->lineMakeCallA(hLine, &hCall, OrNull(number), 0, nullptr), makeCallRequestID);
}

bool CvbTAPILine::DropCallAsynch() {
    if (hCall == 0)
        return false;
    return Requested(api->lineDrop(hCall, nullptr, 0), dropCallRequestID);
}

bool CvbTAPILine::CloseLine() {
    if (hLine == 0)
        return false;
    const LONG result = api->lineClose(hLine);
    hLine = 0;
    return Succeeded(result);
}

bool CvbTAPILine::ConfigDialog(HWND OwnerHwnd, const std::string& DeviceClass) {
    const std::string deviceClass = mTAPIDecs::ToAnsi(DeviceClass);
    return Succeeded(api->lineConfigDialogA(m_CurrentLineID, OwnerHwnd, OrNull(deviceClass)));
}

bool CvbTAPILine::DialingPropertiesDialog(HWND OwnerHwnd, const std::string& phonenumber) {
    const std::string number = mTAPIDecs::ToAnsi(phonenumber);
    return Succeeded(
        api->lineTranslateDialogA(hLineApp, m_CurrentLineID, highestAPIVersion, OwnerHwnd, OrNull(number)));
}

bool CvbTAPILine::PaintDevIcon(HDC hdc, LONG left, LONG top, LONG width, LONG height) {
    HICON icon = nullptr;
    if (!Succeeded(api->lineGetIconA(m_CurrentLineID, nullptr, &icon)))
        return false;
    if (icon == nullptr)
        return false;
    api->DrawIconEx(hdc, left, top, icon, width, height, 0, nullptr, DI_NORMAL);
    api->DestroyIcon(icon);
    return true;
}

void CvbTAPILine::Subscribe(CvbTAPILineEvents* subscriber) {
    if (subscriber != nullptr &&
        std::find(subscribers.begin(), subscribers.end(), subscriber) == subscribers.end())
        subscribers.push_back(subscriber);
}

void CvbTAPILine::Unsubscribe(CvbTAPILineEvents* subscriber) {
    subscribers.erase(std::remove(subscribers.begin(), subscribers.end(), subscriber), subscribers.end());
}

// Calls fn on every subscriber, synchronously. Works on a snapshot and skips a subscriber
// that an earlier handler has unsubscribed, so handlers may change the list.
template <typename Fn> void CvbTAPILine::Raise(Fn&& fn) {
    const std::vector<CvbTAPILineEvents*> snapshot = subscribers;
    for (CvbTAPILineEvents* s : snapshot) {
        if (std::find(subscribers.begin(), subscribers.end(), s) != subscribers.end())
            fn(*s);
    }
}

CvbTAPILine::State CvbTAPILine::state() const {
    return State{hLineApp, hLine, hCall, makeCallRequestID, dropCallRequestID, highestAPIVersion};
}

void CvbTAPILine::LineProcHandler(DWORD /*hDevice*/, DWORD dwMessage, DWORD_PTR dwParam1, DWORD_PTR dwParam2,
                                  DWORD_PTR /*dwParam3*/) {
    const auto param1 = static_cast<DWORD>(dwParam1);
    switch (dwMessage) {
    case LINE_REPLY: {
        // Request IDs are positive: a reply carrying 0 never matches "no request pending".
        const auto code = static_cast<LONG>(static_cast<DWORD>(dwParam2));
        if (param1 == 0)
            break;
        if (param1 == makeCallRequestID) {
            makeCallRequestID = 0;
            if (code != 0)
                CloseLine();
            Raise([code](CvbTAPILineEvents& s) { s.MakeCallResult(code); });
        } else if (param1 == dropCallRequestID) {
            dropCallRequestID = 0;
            Raise([code](CvbTAPILineEvents& s) { s.DropCallResult(code); });
        }
        break;
    }
    case LINE_CALLSTATE:
        switch (param1) {
        case LINECALLSTATE_IDLE:
            if (hCall != 0) {
                api->lineDeallocateCall(hCall);
                hCall = 0;
                CloseLine();
            }
            Raise([](CvbTAPILineEvents& s) { s.Idle(); });
            break;
        case LINECALLSTATE_CONNECTED:
            Raise([](CvbTAPILineEvents& s) { s.Connected(); });
            break;
        case LINECALLSTATE_DISCONNECTED:
            DropCallAsynch();
            Raise([](CvbTAPILineEvents& s) { s.Disconnected(); });
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
}
