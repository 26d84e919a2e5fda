// mTAPIDecs: the telephony API as the line object sees it.
//
// Declares the TAPI types, structures and constants that CvbTAPILine uses, with their
// published names, values and layouts (on Windows they come from <tapi.h>), and the seam
// TapiApi: one member per telephony operation the line object calls, plus the two icon
// functions. A CvbTAPILine is constructed on one implementation of TapiApi; SystemTapi()
// returns the system's own (the real DLLs on Windows, the local telephony service
// elsewhere). This header holds no logic and does not know which implementation runs.
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

// Line error codes. Results are signed 32-bit; these are their published bit patterns.
constexpr LONG LINEERR_ALLOCATED = static_cast<LONG>(0x80000001);
constexpr LONG LINEERR_BADDEVICEID = static_cast<LONG>(0x80000002);
constexpr LONG LINEERR_BEARERMODEUNAVAIL = static_cast<LONG>(0x80000003);
constexpr LONG LINEERR_CALLUNAVAIL = static_cast<LONG>(0x80000005);
constexpr LONG LINEERR_COMPLETIONOVERRUN = static_cast<LONG>(0x80000006);
constexpr LONG LINEERR_CONFERENCEFULL = static_cast<LONG>(0x80000007);
constexpr LONG LINEERR_DIALBILLING = static_cast<LONG>(0x80000008);
constexpr LONG LINEERR_DIALDIALTONE = static_cast<LONG>(0x80000009);
constexpr LONG LINEERR_DIALPROMPT = static_cast<LONG>(0x8000000A);
constexpr LONG LINEERR_DIALQUIET = static_cast<LONG>(0x8000000B);
constexpr LONG LINEERR_INCOMPATIBLEAPIVERSION = static_cast<LONG>(0x8000000C);
constexpr LONG LINEERR_INCOMPATIBLEEXTVERSION = static_cast<LONG>(0x8000000D);
constexpr LONG LINEERR_INIFILECORRUPT = static_cast<LONG>(0x8000000E);
constexpr LONG LINEERR_INUSE = static_cast<LONG>(0x8000000F);
constexpr LONG LINEERR_INVALADDRESS = static_cast<LONG>(0x80000010);
constexpr LONG LINEERR_INVALADDRESSID = static_cast<LONG>(0x80000011);
constexpr LONG LINEERR_INVALADDRESSMODE = static_cast<LONG>(0x80000012);
constexpr LONG LINEERR_INVALADDRESSSTATE = static_cast<LONG>(0x80000013);
constexpr LONG LINEERR_INVALAPPHANDLE = static_cast<LONG>(0x80000014);
constexpr LONG LINEERR_INVALAPPNAME = static_cast<LONG>(0x80000015);
constexpr LONG LINEERR_INVALBEARERMODE = static_cast<LONG>(0x80000016);
constexpr LONG LINEERR_INVALCALLCOMPLMODE = static_cast<LONG>(0x80000017);
constexpr LONG LINEERR_INVALCALLHANDLE = static_cast<LONG>(0x80000018);
constexpr LONG LINEERR_INVALCALLPARAMS = static_cast<LONG>(0x80000019);
constexpr LONG LINEERR_INVALCALLPRIVILEGE = static_cast<LONG>(0x8000001A);
constexpr LONG LINEERR_INVALCALLSELECT = static_cast<LONG>(0x8000001B);
constexpr LONG LINEERR_INVALCALLSTATE = static_cast<LONG>(0x8000001C);
constexpr LONG LINEERR_INVALCALLSTATELIST = static_cast<LONG>(0x8000001D);
constexpr LONG LINEERR_INVALCARD = static_cast<LONG>(0x8000001E);
constexpr LONG LINEERR_INVALCOMPLETIONID = static_cast<LONG>(0x8000001F);
constexpr LONG LINEERR_INVALCONFCALLHANDLE = static_cast<LONG>(0x80000020);
constexpr LONG LINEERR_INVALCONSULTCALLHANDLE = static_cast<LONG>(0x80000021);
constexpr LONG LINEERR_INVALCOUNTRYCODE = static_cast<LONG>(0x80000022);
constexpr LONG LINEERR_INVALDEVICECLASS = static_cast<LONG>(0x80000023);
constexpr LONG LINEERR_INVALDEVICEHANDLE = static_cast<LONG>(0x80000024);
constexpr LONG LINEERR_INVALDIALPARAMS = static_cast<LONG>(0x80000025);
constexpr LONG LINEERR_INVALDIGITLIST = static_cast<LONG>(0x80000026);
constexpr LONG LINEERR_INVALDIGITMODE = static_cast<LONG>(0x80000027);
constexpr LONG LINEERR_INVALDIGITS = static_cast<LONG>(0x80000028);
constexpr LONG LINEERR_INVALEXTVERSION = static_cast<LONG>(0x80000029);
constexpr LONG LINEERR_INVALGROUPID = static_cast<LONG>(0x8000002A);
constexpr LONG LINEERR_INVALLINEHANDLE = static_cast<LONG>(0x8000002B);
constexpr LONG LINEERR_INVALLINESTATE = static_cast<LONG>(0x8000002C);
constexpr LONG LINEERR_INVALLOCATION = static_cast<LONG>(0x8000002D);
constexpr LONG LINEERR_INVALMEDIALIST = static_cast<LONG>(0x8000002E);
constexpr LONG LINEERR_INVALMEDIAMODE = static_cast<LONG>(0x8000002F);
constexpr LONG LINEERR_INVALMESSAGEID = static_cast<LONG>(0x80000030);
constexpr LONG LINEERR_INVALPARAM = static_cast<LONG>(0x80000032);
constexpr LONG LINEERR_INVALPARKID = static_cast<LONG>(0x80000033);
constexpr LONG LINEERR_INVALPARKMODE = static_cast<LONG>(0x80000034);
constexpr LONG LINEERR_INVALPOINTER = static_cast<LONG>(0x80000035);
constexpr LONG LINEERR_INVALPRIVSELECT = static_cast<LONG>(0x80000036);
constexpr LONG LINEERR_INVALRATE = static_cast<LONG>(0x80000037);
constexpr LONG LINEERR_INVALREQUESTMODE = static_cast<LONG>(0x80000038);
constexpr LONG LINEERR_INVALTERMINALID = static_cast<LONG>(0x80000039);
constexpr LONG LINEERR_INVALTERMINALMODE = static_cast<LONG>(0x8000003A);
constexpr LONG LINEERR_INVALTIMEOUT = static_cast<LONG>(0x8000003B);
constexpr LONG LINEERR_INVALTONE = static_cast<LONG>(0x8000003C);
constexpr LONG LINEERR_INVALTONELIST = static_cast<LONG>(0x8000003D);
constexpr LONG LINEERR_INVALTONEMODE = static_cast<LONG>(0x8000003E);
constexpr LONG LINEERR_INVALTRANSFERMODE = static_cast<LONG>(0x8000003F);
constexpr LONG LINEERR_LINEMAPPERFAILED = static_cast<LONG>(0x80000040);
constexpr LONG LINEERR_NOCONFERENCE = static_cast<LONG>(0x80000041);
constexpr LONG LINEERR_NODEVICE = static_cast<LONG>(0x80000042);
constexpr LONG LINEERR_NODRIVER = static_cast<LONG>(0x80000043);
constexpr LONG LINEERR_NOMEM = static_cast<LONG>(0x80000044);
constexpr LONG LINEERR_NOREQUEST = static_cast<LONG>(0x80000045);
constexpr LONG LINEERR_NOTOWNER = static_cast<LONG>(0x80000046);
constexpr LONG LINEERR_NOTREGISTERED = static_cast<LONG>(0x80000047);
constexpr LONG LINEERR_OPERATIONFAILED = static_cast<LONG>(0x80000048);
constexpr LONG LINEERR_OPERATIONUNAVAIL = static_cast<LONG>(0x80000049);
constexpr LONG LINEERR_RATEUNAVAIL = static_cast<LONG>(0x8000004A);
constexpr LONG LINEERR_RESOURCEUNAVAIL = static_cast<LONG>(0x8000004B);
constexpr LONG LINEERR_REQUESTOVERRUN = static_cast<LONG>(0x8000004C);
constexpr LONG LINEERR_STRUCTURETOOSMALL = static_cast<LONG>(0x8000004D);
constexpr LONG LINEERR_TARGETNOTFOUND = static_cast<LONG>(0x8000004E);
constexpr LONG LINEERR_TARGETSELF = static_cast<LONG>(0x8000004F);
constexpr LONG LINEERR_UNINITIALIZED = static_cast<LONG>(0x80000050);
constexpr LONG LINEERR_USERUSERINFOTOOBIG = static_cast<LONG>(0x80000051);
constexpr LONG LINEERR_REINIT = static_cast<LONG>(0x80000052);
constexpr LONG LINEERR_ADDRESSBLOCKED = static_cast<LONG>(0x80000053);
constexpr LONG LINEERR_BILLINGREJECTED = static_cast<LONG>(0x80000054);
constexpr LONG LINEERR_INVALFEATURE = static_cast<LONG>(0x80000055);
constexpr LONG LINEERR_NOMULTIPLEINSTANCE = static_cast<LONG>(0x80000056);
constexpr LONG LINEERR_INVALAGENTID = static_cast<LONG>(0x80000057);

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

namespace mTAPIDecs {

// Size of the capability buffer the line object hands to lineGetDevCapsA.
constexpr DWORD kDevCapsBufferSize = 2301;

// The operations through which the line object reaches the system's telephony, with the
// published signatures of their ANSI forms. Implementations: the real DLLs (Windows), the
// local telephony service (elsewhere), and test doubles.
class TapiApi {
  public:
    virtual ~TapiApi() = default;

    virtual LONG lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                                   LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                                   LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) = 0;
    virtual LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                         DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                         LPLINEEXTENSIONID lpExtensionID) = 0;
    virtual LONG lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                                 LPLINEDEVCAPS lpLineDevCaps) = 0;
    virtual LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                          DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                          DWORD dwMediaModes, LPLINECALLPARAMS lpCallParams) = 0;
    virtual LONG lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                               LPLINECALLPARAMS lpCallParams) = 0;
    virtual LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) = 0;
    virtual LONG lineDeallocateCall(HCALL hCall) = 0;
    virtual LONG lineClose(HLINE hLine) = 0;
    virtual LONG lineShutdown(HLINEAPP hLineApp) = 0;
    virtual LONG lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass) = 0;
    virtual LONG lineTranslateDialogA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                                      LPCSTR lpszAddressIn) = 0;
    virtual LONG lineGetIconA(DWORD dwDeviceID, LPCSTR lpszDeviceClass, LPHICON lphIcon) = 0;

    virtual BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                            UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags) = 0;
    virtual BOOL DestroyIcon(HICON hIcon) = 0;
};

// The system's telephony: on Windows the real tapi32.dll and user32.dll; elsewhere the
// local telephony service. Defined by the library that provides it (telephony on
// Windows, localtapi elsewhere), so a program that uses it links that library.
std::shared_ptr<TapiApi> SystemTapi();

// The application's instance handle passed to lineInitializeExA (null where the system
// has no such notion).
HINSTANCE ApplicationInstance();

} // namespace mTAPIDecs
