// The telephony API's types, structures and constants, with their published names, values
// and layouts: <tapi.h> itself on Windows, a stand-in for it elsewhere. The line error
// codes are in LineErrors.h, the API versions in Versions.h. Declarations only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#ifdef _WIN32
#include <windows.h>
// <windows.h> first: <tapi.h> relies on its types.
#include <tapi.h>
#else

// ---- Basic Windows types, with the widths the telephony API publishes ----
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using DWORD_PTR = std::uintptr_t;
using LPDWORD = DWORD*;
using LPCSTR = const char*;
using HANDLE = void*;

#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef WINAPI
#define WINAPI
#endif

// Opaque handle types of the user interface. On this platform the local telephony
// service gives them their meaning (a window handle wraps a widget, a device context
// wraps a painter, an icon wraps a picture).
struct HINSTANCE__;
struct HWND__;
struct HDC__;
struct HICON__;
struct HBRUSH__;
using HINSTANCE = HINSTANCE__*;
using HWND = HWND__*;
using HDC = HDC__*;
using HICON = HICON__*;
using HBRUSH = HBRUSH__*;
using LPHICON = HICON*;

// ---- TAPI handles: 32-bit values ----
using HLINEAPP = DWORD;
using HLINE = DWORD;
using HCALL = DWORD;
using LPHLINEAPP = HLINEAPP*;
using LPHLINE = HLINE*;
using LPHCALL = HCALL*;

using LINECALLBACK = void(CALLBACK*)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                                     DWORD_PTR dwParam2, DWORD_PTR dwParam3);

#pragma pack(push, 1)
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

struct LINEDIALPARAMS {
    DWORD dwDialPause;
    DWORD dwDialSpeed;
    DWORD dwDigitDuration;
    DWORD dwWaitForDialtone;
};

struct LINEEXTENSIONID {
    DWORD dwExtensionID0;
    DWORD dwExtensionID1;
    DWORD dwExtensionID2;
    DWORD dwExtensionID3;
};
using LPLINEEXTENSIONID = LINEEXTENSIONID*;

struct LINEINITIALIZEEXPARAMS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwOptions;
    union {
        HANDLE hEvent;
        HANDLE hCompletionPort;
    } Handles;
    DWORD dwCompletionKey;
};
using LPLINEINITIALIZEEXPARAMS = LINEINITIALIZEEXPARAMS*;

struct LINEDEVCAPS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwProviderInfoSize;
    DWORD dwProviderInfoOffset;
    DWORD dwSwitchInfoSize;
    DWORD dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize;
    DWORD dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes;
    DWORD dwNumAddresses;
    DWORD dwBearerModes;
    DWORD dwMaxRate;
    DWORD dwMediaModes;
    DWORD dwGenerateToneModes;
    DWORD dwGenerateToneMaxNumFreq;
    DWORD dwGenerateDigitModes;
    DWORD dwMonitorToneMaxNumFreq;
    DWORD dwMonitorToneMaxNumEntries;
    DWORD dwMonitorDigitModes;
    DWORD dwGatherDigitsMinTimeout;
    DWORD dwGatherDigitsMaxTimeout;
    DWORD dwMedCtlDigitMaxListSize;
    DWORD dwMedCtlMediaMaxListSize;
    DWORD dwMedCtlToneMaxListSize;
    DWORD dwMedCtlCallStateMaxListSize;
    DWORD dwDevCapFlags;
    DWORD dwMaxNumActiveCalls;
    DWORD dwAnswerMode;
    DWORD dwRingModes;
    DWORD dwLineStates;
    DWORD dwUUIAcceptSize;
    DWORD dwUUIAnswerSize;
    DWORD dwUUIMakeCallSize;
    DWORD dwUUIDropSize;
    DWORD dwUUISendUserUserInfoSize;
    DWORD dwUUICallInfoSize;
    LINEDIALPARAMS MinDialParams;
    LINEDIALPARAMS MaxDialParams;
    LINEDIALPARAMS DefaultDialParams;
    DWORD dwNumTerminals;
    DWORD dwTerminalCapsSize;
    DWORD dwTerminalCapsOffset;
    DWORD dwTerminalTextEntrySize;
    DWORD dwTerminalTextSize;
    DWORD dwTerminalTextOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwLineFeatures;
    DWORD dwSettableDevStatus;
    DWORD dwDeviceClassesSize;
    DWORD dwDeviceClassesOffset;
    GUID PermanentLineGuid;
    DWORD dwAddressTypes;
    GUID ProtocolGuid;
    DWORD dwAvailableTracking;
};
using LPLINEDEVCAPS = LINEDEVCAPS*;

// Call parameters are never passed by this program (always a null pointer); the type
// exists so that the published signatures can be written down.
struct LINECALLPARAMS;
using LPLINECALLPARAMS = LINECALLPARAMS*;
#pragma pack(pop)

// ---- Constants, published values ----
constexpr DWORD LINEINITIALIZEEXOPTION_USEHIDDENWINDOW = 0x00000001;
constexpr DWORD LINEINITIALIZEEXOPTION_USEEVENT = 0x00000002;
constexpr DWORD LINEINITIALIZEEXOPTION_USECOMPLETIONPORT = 0x00000003;

constexpr DWORD LINECALLPRIVILEGE_NONE = 0x00000001;
constexpr DWORD LINECALLPRIVILEGE_MONITOR = 0x00000002;
constexpr DWORD LINECALLPRIVILEGE_OWNER = 0x00000004;

constexpr DWORD LINEMEDIAMODE_UNKNOWN = 0x00000002;
constexpr DWORD LINEMEDIAMODE_INTERACTIVEVOICE = 0x00000004;
constexpr DWORD LINEMEDIAMODE_AUTOMATEDVOICE = 0x00000008;
constexpr DWORD LINEMEDIAMODE_DATAMODEM = 0x00000010;
constexpr DWORD LINEMEDIAMODE_G3FAX = 0x00000020;
constexpr DWORD LINEMEDIAMODE_TDD = 0x00000040;
constexpr DWORD LINEMEDIAMODE_G4FAX = 0x00000080;
constexpr DWORD LINEMEDIAMODE_DIGITALDATA = 0x00000100;
constexpr DWORD LINEMEDIAMODE_TELETEX = 0x00000200;
constexpr DWORD LINEMEDIAMODE_VIDEOTEX = 0x00000400;
constexpr DWORD LINEMEDIAMODE_TELEX = 0x00000800;
constexpr DWORD LINEMEDIAMODE_MIXED = 0x00001000;
constexpr DWORD LINEMEDIAMODE_ADSI = 0x00002000;
constexpr DWORD LINEMEDIAMODE_VOICEVIEW = 0x00004000;

constexpr DWORD LINEBEARERMODE_VOICE = 0x00000001;
constexpr DWORD LINEBEARERMODE_SPEECH = 0x00000002;
constexpr DWORD LINEBEARERMODE_MULTIUSE = 0x00000004;
constexpr DWORD LINEBEARERMODE_DATA = 0x00000008;

constexpr DWORD LINEADDRESSMODE_ADDRESSID = 0x00000001;
constexpr DWORD LINEADDRESSMODE_DIALABLEADDR = 0x00000002;

constexpr DWORD STRINGFORMAT_ASCII = 0x00000001;
constexpr DWORD STRINGFORMAT_DBCS = 0x00000002;
constexpr DWORD STRINGFORMAT_UNICODE = 0x00000003;
constexpr DWORD STRINGFORMAT_BINARY = 0x00000004;

constexpr DWORD LINETONEMODE_CUSTOM = 0x00000001;
constexpr DWORD LINETONEMODE_RINGBACK = 0x00000002;
constexpr DWORD LINETONEMODE_BUSY = 0x00000004;
constexpr DWORD LINETONEMODE_BEEP = 0x00000008;
constexpr DWORD LINETONEMODE_BILLING = 0x00000010;

// Line messages.
constexpr DWORD LINE_ADDRESSSTATE = 0;
constexpr DWORD LINE_CALLINFO = 1;
constexpr DWORD LINE_CALLSTATE = 2;
constexpr DWORD LINE_CLOSE = 3;
constexpr DWORD LINE_DEVSPECIFIC = 4;
constexpr DWORD LINE_DEVSPECIFICFEATURE = 5;
constexpr DWORD LINE_GATHERDIGITS = 6;
constexpr DWORD LINE_GENERATE = 7;
constexpr DWORD LINE_LINEDEVSTATE = 8;
constexpr DWORD LINE_MONITORDIGITS = 9;
constexpr DWORD LINE_MONITORMEDIA = 10;
constexpr DWORD LINE_MONITORTONE = 11;
constexpr DWORD LINE_REPLY = 12;
constexpr DWORD LINE_REQUEST = 13;
constexpr DWORD LINE_CREATE = 19;

// Call states.
constexpr DWORD LINECALLSTATE_IDLE = 0x00000001;
constexpr DWORD LINECALLSTATE_OFFERING = 0x00000002;
constexpr DWORD LINECALLSTATE_ACCEPTED = 0x00000004;
constexpr DWORD LINECALLSTATE_DIALTONE = 0x00000008;
constexpr DWORD LINECALLSTATE_DIALING = 0x00000010;
constexpr DWORD LINECALLSTATE_RINGBACK = 0x00000020;
constexpr DWORD LINECALLSTATE_BUSY = 0x00000040;
constexpr DWORD LINECALLSTATE_SPECIALINFO = 0x00000080;
constexpr DWORD LINECALLSTATE_CONNECTED = 0x00000100;
constexpr DWORD LINECALLSTATE_PROCEEDING = 0x00000200;
constexpr DWORD LINECALLSTATE_ONHOLD = 0x00000400;
constexpr DWORD LINECALLSTATE_CONFERENCED = 0x00000800;
constexpr DWORD LINECALLSTATE_ONHOLDPENDCONF = 0x00001000;
constexpr DWORD LINECALLSTATE_ONHOLDPENDTRANSFER = 0x00002000;
constexpr DWORD LINECALLSTATE_DISCONNECTED = 0x00004000;
constexpr DWORD LINECALLSTATE_UNKNOWN = 0x00008000;

// Dial-tone modes (dwParam2 of LINECALLSTATE_DIALTONE).
constexpr DWORD LINEDIALTONEMODE_NORMAL = 0x00000001;
constexpr DWORD LINEDIALTONEMODE_SPECIAL = 0x00000002;
constexpr DWORD LINEDIALTONEMODE_INTERNAL = 0x00000004;
constexpr DWORD LINEDIALTONEMODE_EXTERNAL = 0x00000008;
constexpr DWORD LINEDIALTONEMODE_UNKNOWN = 0x00000010;
constexpr DWORD LINEDIALTONEMODE_UNAVAIL = 0x00000020;

// Busy modes (dwParam2 of LINECALLSTATE_BUSY).
constexpr DWORD LINEBUSYMODE_STATION = 0x00000001;
constexpr DWORD LINEBUSYMODE_TRUNK = 0x00000002;
constexpr DWORD LINEBUSYMODE_UNKNOWN = 0x00000004;
constexpr DWORD LINEBUSYMODE_UNAVAIL = 0x00000008;

// Disconnect modes (dwParam2 of LINECALLSTATE_DISCONNECTED).
constexpr DWORD LINEDISCONNECTMODE_NORMAL = 0x00000001;
constexpr DWORD LINEDISCONNECTMODE_UNKNOWN = 0x00000002;
constexpr DWORD LINEDISCONNECTMODE_REJECT = 0x00000004;
constexpr DWORD LINEDISCONNECTMODE_PICKUP = 0x00000008;
constexpr DWORD LINEDISCONNECTMODE_FORWARDED = 0x00000010;
constexpr DWORD LINEDISCONNECTMODE_BUSY = 0x00000020;
constexpr DWORD LINEDISCONNECTMODE_NOANSWER = 0x00000040;
constexpr DWORD LINEDISCONNECTMODE_BADADDRESS = 0x00000080;
constexpr DWORD LINEDISCONNECTMODE_UNREACHABLE = 0x00000100;
constexpr DWORD LINEDISCONNECTMODE_CONGESTION = 0x00000200;
constexpr DWORD LINEDISCONNECTMODE_INCOMPATIBLE = 0x00000400;
constexpr DWORD LINEDISCONNECTMODE_UNAVAIL = 0x00000800;
constexpr DWORD LINEDISCONNECTMODE_NODIALTONE = 0x00001000;
constexpr DWORD LINEDISCONNECTMODE_NUMBERCHANGED = 0x00002000;
constexpr DWORD LINEDISCONNECTMODE_OUTOFORDER = 0x00004000;
constexpr DWORD LINEDISCONNECTMODE_TEMPFAILURE = 0x00008000;
constexpr DWORD LINEDISCONNECTMODE_QOSUNAVAIL = 0x00010000;
constexpr DWORD LINEDISCONNECTMODE_BLOCKED = 0x00020000;
constexpr DWORD LINEDISCONNECTMODE_DONOTDISTURB = 0x00040000;
constexpr DWORD LINEDISCONNECTMODE_CANCELLED = 0x00080000;

constexpr UINT DI_MASK = 0x0001;
constexpr UINT DI_IMAGE = 0x0002;
constexpr UINT DI_NORMAL = 0x0003;
constexpr UINT DI_COMPAT = 0x0004;
constexpr UINT DI_DEFAULTSIZE = 0x0008;

// Line device states (dwParam1 of LINE_LINEDEVSTATE).
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
constexpr DWORD LINEDEVCAPFLAGS_DIALBILLING = 0x00000040;
constexpr DWORD LINEDEVCAPFLAGS_DIALQUIET = 0x00000080;
constexpr DWORD LINEDEVCAPFLAGS_DIALDIALTONE = 0x00000100;

constexpr DWORD LINEANSWERMODE_NONE = 0x00000001;

#endif // _WIN32


// The published layout, checked where the line object reads it by byte offset.
static_assert(offsetof(LINEDEVCAPS, dwProviderInfoSize) == 12);
static_assert(offsetof(LINEDEVCAPS, dwProviderInfoOffset) == 16);
static_assert(offsetof(LINEDEVCAPS, dwSwitchInfoSize) == 20);
static_assert(offsetof(LINEDEVCAPS, dwSwitchInfoOffset) == 24);
static_assert(offsetof(LINEDEVCAPS, dwPermanentLineID) == 28);
static_assert(offsetof(LINEDEVCAPS, dwLineNameSize) == 32);
static_assert(offsetof(LINEDEVCAPS, dwLineNameOffset) == 36);
static_assert(offsetof(LINEDEVCAPS, dwStringFormat) == 40);
static_assert(offsetof(LINEDEVCAPS, dwAddressModes) == 44);
static_assert(offsetof(LINEDEVCAPS, dwNumAddresses) == 48);
static_assert(offsetof(LINEDEVCAPS, dwBearerModes) == 52);
static_assert(offsetof(LINEDEVCAPS, dwMaxRate) == 56);
static_assert(offsetof(LINEDEVCAPS, dwMediaModes) == 60);
static_assert(offsetof(LINEDEVCAPS, dwGenerateToneModes) == 64);
static_assert(offsetof(LINEDEVCAPS, dwGenerateToneMaxNumFreq) == 68);
static_assert(offsetof(LINEDEVCAPS, dwNumTerminals) == 204);
static_assert(sizeof(LINEEXTENSIONID) == 16);
static_assert(sizeof(LINEINITIALIZEEXPARAMS) == 4 * sizeof(DWORD) + sizeof(HANDLE) + sizeof(DWORD));

