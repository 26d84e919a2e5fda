// CvbTAPILine: the program's telephony line object.
//
// Owns one line application of the telephony API for its whole life: registers it
// (Create), negotiates an API version with every line device, keeps a copy of the current
// line's device capabilities, opens and closes that line, requests a call and its drop,
// turns the messages the telephony service sends back into state changes and events, and
// offers the line's configuration dialogs, its icon and the texts of error codes.
//
// What it does not do: it never raises a telephony failure (the failing method records
// the code in LastError and returns false), never shows a message, never waits for a
// reply, and never locks: it lives on the one thread that called Create, and messages
// reach it only when that thread dispatches events. Invalid use of a property is raised
// as RuntimeError 380 or 9, leaving the object as it was.
//
// Ownership: always held through std::shared_ptr (see New). The line callback holds a
// counted reference while it dispatches one message, so a subscriber may let go of the
// object during an event.
#pragma once

#include "telephony/RuntimeError.h"
#include "telephony/mTAPIDecs.h"
#include "telephony/mTAPIvb.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

// Receiver of the line object's events. Events are delivered synchronously, in the order
// of subscription; a subscriber may unsubscribe itself or others during an event.
class CvbTAPILineEvents {
  public:
    virtual ~CvbTAPILineEvents() = default;
    virtual void MakeCallResult(LONG /*errorCode*/) {}
    virtual void DropCallResult(LONG /*errorCode*/) {}
    virtual void Connected() {}
    virtual void Idle() {}
    virtual void Disconnected() {}
};

class CvbTAPILine : public std::enable_shared_from_this<CvbTAPILine> {
    struct Passkey {};

  public:
    // Creates a line object on the given telephony implementation (by default the
    // system's). No telephony call is made.
    static std::shared_ptr<CvbTAPILine>
    New(std::shared_ptr<mTAPIDecs::TapiApi> api = mTAPIDecs::SystemTapi());

    CvbTAPILine(Passkey, std::shared_ptr<mTAPIDecs::TapiApi> api);
    ~CvbTAPILine();
    CvbTAPILine(const CvbTAPILine&) = delete;
    CvbTAPILine& operator=(const CvbTAPILine&) = delete;

    // 1-2. Accepted API version range.
    DWORD LowAPI() const { return m_LowAPI; }
    void setLowAPI(DWORD ver) { m_LowAPI = ver; }
    DWORD HiAPI() const { return m_HiAPI; }
    void setHiAPI(DWORD ver) { m_HiAPI = ver; }

    // 3. Read-and-clear error register.
    LONG LastError();

    // 4. Words for any telephony result code.
    std::string ErrorString(LONG errCode) const;

    // Words for the user on why the current line's last open or call failed: the
    // telephony's own when it has them, else the text of code (by default the error
    // register, which is not cleared); empty when there is nothing to tell.
    std::string FailureReason(LONG code) const;
    std::string FailureReason() const { return FailureReason(m_LastError); }
    // 5-6. Registration of the line application.
    bool Create();
    DWORD numLines() const { return m_numLines; }

    // 7. Current line; the setter validates (RuntimeError 380) and refetches capabilities.
    DWORD CurrentLineID() const { return m_CurrentLineID; }
    void setCurrentLineID(LONG id);

    // 8-9. Per-line negotiation results; RuntimeError 9 before Create built them.
    DWORD NegotiatedAPIVersion() const;
    DWORD ExtAPI_ID0() const;
    DWORD ExtAPI_ID1() const;
    DWORD ExtAPI_ID2() const;
    DWORD ExtAPI_ID3() const;

    // 10. Capabilities of the current line as last fetched successfully.
    const std::string& LineName() const { return m_LineName; }
    const std::string& ProviderInfo() const { return m_ProviderInfo; }
    const std::string& SwitchInfo() const { return m_SwitchInfo; }
    DWORD PermanentLineID() const { return m_PermanentLineID; }
    DWORD StringFormat() const { return m_StringFormat; }
    DWORD numAddresses() const { return m_numAddresses; }
    DWORD maxDataRate() const { return m_maxDataRate; }
    DWORD BearerModes() const { return m_BearerModes; }
    DWORD AddressModes() const { return m_AddressModes; }
    DWORD mediamodes() const { return m_mediamodes; }
    DWORD GenerateToneMaxNumFreq() const { return m_GenerateToneMaxNumFreq; }
    DWORD GenerateToneModes() const { return m_GenerateToneModes; }
    DWORD numTerminals() const { return m_numTerminals; }
    bool LineSupportsVoiceCalls() const;

    // 11. Call control.
    bool OpenLine(DWORD privileges = LINECALLPRIVILEGE_NONE,
                  DWORD mediamodes = LINEMEDIAMODE_INTERACTIVEVOICE);
    bool MakeCallAsynch(const std::string& phonenumber = std::string());
    bool DropCallAsynch();
    bool CloseLine();

    // 12. Dialogs and device icon of the current line.
    bool ConfigDialog(HWND OwnerHwnd = nullptr, const std::string& DeviceClass = std::string());
    bool DialingPropertiesDialog(HWND OwnerHwnd = nullptr, const std::string& phonenumber = std::string());
    bool PaintDevIcon(HDC hdc, LONG left = 0, LONG top = 0, LONG width = 0, LONG height = 0);

    // Events.
    void Subscribe(CvbTAPILineEvents* subscriber);
    void Unsubscribe(CvbTAPILineEvents* subscriber);

    // Read-only view of the handles and pending requests, for diagnostics and tests.
    struct State {
        HLINEAPP hLineApp;
        HLINE hLine;
        HCALL hCall;
        DWORD makeCallRequestID;
        DWORD dropCallRequestID;
        DWORD highestAPIVersion;
    };
    State state() const;

  private:
    friend void CALLBACK mTAPIvb::LineCallback(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR);

    bool RefreshDevCaps();
    bool Succeeded(LONG result);
    bool Requested(LONG result, DWORD& requestID);
    static std::string CapsString(const unsigned char* buffer, DWORD offset, DWORD size);
    void LineProcHandler(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwParam1, DWORD_PTR dwParam2,
                         DWORD_PTR dwParam3);

    void ReleaseRegistration();
    LINEDEVCAPS* devCapsStruct() { return reinterpret_cast<LINEDEVCAPS*>(devCaps.data()); }
    const LINEEXTENSIONID& currentExtensionID() const;
    template <typename Fn> void Raise(Fn&& fn);

    std::shared_ptr<mTAPIDecs::TapiApi> api;

    HLINEAPP hLineApp = 0;
    std::vector<DWORD> apiVersions;
    std::vector<LINEEXTENSIONID> extensionIDs;
    DWORD highestAPIVersion = 0;
    DWORD m_LowAPI = telephony::tapi::kVersion1_3;
    DWORD m_HiAPI = telephony::tapi::kVersion3_0;
    LONG m_LastError = 0;
    DWORD m_numLines = 0;
    DWORD m_CurrentLineID = 0;
    alignas(LINEDEVCAPS) std::array<unsigned char, mTAPIDecs::kDevCapsBufferSize> devCaps{};
    std::string m_LineName;
    std::string m_ProviderInfo;
    std::string m_SwitchInfo;
    DWORD m_PermanentLineID = 0;
    DWORD m_StringFormat = 0;
    DWORD m_numAddresses = 0;
    DWORD m_maxDataRate = 0;
    DWORD m_BearerModes = 0;
    DWORD m_AddressModes = 0;
    DWORD m_mediamodes = 0;
    DWORD m_GenerateToneMaxNumFreq = 0;
    DWORD m_GenerateToneModes = 0;
    DWORD m_numTerminals = 0;
    HLINE hLine = 0;
    HCALL hCall = 0;
    DWORD makeCallRequestID = 0;
    DWORD dropCallRequestID = 0;

    std::vector<CvbTAPILineEvents*> subscribers;
};
