// DialFormLogic: the dial window's handlers and the Dial command.
#include "ui/DialFormLogic.h"

#include "ui/AppInfo.h"
#include "ui/Layout.h"

namespace ui {

namespace {

constexpr DWORD kOpenPrivileges = LINECALLPRIVILEGE_NONE;         // 1: no incoming calls
constexpr DWORD kOpenMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE; // 4: a voice call
constexpr const char* kTapiFailure = "TAPI failure";
constexpr const char* kTimeCall = "Time call?";

bool IsAcceptedCharacter(char16_t k) {
    return (k >= u'0' && k <= u'9') || k == u'#' || k == u'*' || k == u' ' || k == u'-';
}

constexpr char16_t kBackspace = 8;
constexpr char16_t kTab = 9;
constexpr char16_t kEnter = 13;

} // namespace

std::string WithoutLastCharacter(const std::string& text) {
    if (text.empty())
        return text;
    std::size_t end = text.size() - 1;
    // Step back over UTF-8 continuation bytes so a whole character goes.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

class DialFormLogic::Running {
  public:
    explicit Running(DialFormLogic& logic) : logic_(logic), outer_(!logic.running_) { logic_.running_ = true; }
    ~Running() {
        if (!outer_)
            return;
        logic_.running_ = false;
        if (logic_.linkWaiting_) {
            logic_.linkWaiting_ = false;
            logic_.ReceiveLink(std::move(logic_.waitingNumber_));
        }
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

  private:
    DialFormLogic& logic_;
    bool outer_;
};

void DialFormLogic::ReceiveLink(std::optional<std::string> number) {
    if (running_) {
        linkWaiting_ = true;
        if (number || !waitingNumber_)
            waitingNumber_ = std::move(number);
        return;
    }
    if (number)
        view_.setNumberText(*number);
    view_.bringToFront();
    view_.setFocusToNumber();
}

DialFormLogic::DialFormLogic(DialView& view, LineFactory factory)
    : view_(view), factory_(std::move(factory)) {}

DialFormLogic::~DialFormLogic() {
    if (tapiLine_)
        tapiLine_->Unsubscribe(this);
}

void DialFormLogic::Load() {
    tapiLine_ = factory_();
    tapiLine_->Subscribe(this);
    SelectFirstLine(*tapiLine_);
}

void SelectFirstLine(CvbTAPILine& line) {
    line.setLowAPI(DialFormLogic::kLowAPI);
    line.setHiAPI(DialFormLogic::kHiAPI);
    line.Create(); // a failure shows up as no line below
    line.setCurrentLineID(0);
}

void DialFormLogic::KeyPreview(char16_t& k) {
    if (IsAcceptedCharacter(k)) {
        view_.setNumberText(view_.numberText() + static_cast<char>(k));
    } else if (k == kBackspace) {
        const std::string text = view_.numberText();
        if (!text.empty())
            view_.setNumberText(WithoutLastCharacter(text));
    }
    if (k != kEnter && k != kTab)
        k = 0;
    view_.setFocusToNumber();
}

void DialFormLogic::KeypadPress(std::size_t index) {
    if (index >= dialform::kKeypad.size())
        return;
    view_.setNumberText(view_.numberText() + dialform::kKeypad[index].tag);
    view_.setFocusToNumber();
}

void DialFormLogic::ClearBtnClick() {
    view_.setNumberText(std::string());
    view_.setFocusToNumber();
}

void DialFormLogic::CorBtnClick() {
    const std::string text = view_.numberText();
    if (!text.empty())
        view_.setNumberText(WithoutLastCharacter(text));
    view_.setFocusToNumber();
}

void DialFormLogic::HelpClick() {
    Running running(*this);
    if (!tapiLine_) {
        view_.showMessage(HelpText(), MessageButtons::Ok);
        return;
    }
    // The capability strings keep their terminating NUL.
    auto text = [](const std::string& field) { return field.substr(0, field.find('\0')); };
    view_.showMessage(HelpText(text(tapiLine_->LineName()), text(tapiLine_->ProviderInfo())), MessageButtons::Ok);
}

void DialFormLogic::ShowFailure(const std::string& reason) {
    view_.showFailure(kTapiFailure, reason);
    view_.setFocusToNumber();
}

void DialFormLogic::MakeCallResult(LONG errorCode) {
    if (watching_ && errorCode != 0 && !callFailed_) {
        callFailed_ = true;
        failCode_ = errorCode;
    }
}

void DialFormLogic::Disconnected() {
    if (watching_)
        callFailed_ = true;
}

void DialFormLogic::Idle() {
    if (watching_)
        callFailed_ = true;
}

void DialFormLogic::DialClick() {
    Running running(*this);
    const std::string number = view_.numberText();
    if (number.empty()) {
        view_.setFocusToNumber();
        return;
    }
    view_.insertHistoryAtTop(number);

    view_.showBusy(true);
    const bool opened = tapiLine_->OpenLine(kOpenPrivileges, kOpenMediaModes);
    view_.showBusy(false);
    if (!opened) {
        ShowFailure(tapiLine_->FailureReason());
        return;
    }

    // Refused at once: no call exists, so there is nothing to time. Close the line and
    // report it like a line that cannot be opened; the number stays for another try.
    if (!tapiLine_->MakeCallAsynch(number)) {
        const std::string reason = tapiLine_->FailureReason();
        tapiLine_->CloseLine();
        ShowFailure(reason);
        return;
    }

    callFailed_ = false;
    failCode_ = 0;
    watching_ = true;
    const MessageAnswer answer = view_.showMessage(kTimeCall, MessageButtons::YesNo);
    watching_ = false;
    const std::string reason = callFailed_ ? tapiLine_->FailureReason(failCode_) : std::string();

    // Let go of the call: the handset keeps it. Either may be refused when the line
    // object has already closed the line on a late failure; that is harmless.
    tapiLine_->DropCallAsynch();
    tapiLine_->CloseLine();

    // The call failed before the user answered: there is no call to time, whatever the
    // answer. The number stays for another try, as when the line cannot be opened.
    if (callFailed_) {
        ShowFailure(reason);
        return;
    }

    if (answer == MessageAnswer::Yes) {
        TFormLogic& timing = view_.ensureTimingWindow();
        timing.setTheNum(number);
        timing.Mark();
        view_.showTimingWindowModal();
    }

    view_.setNumberText(std::string());
    view_.setFocusToNumber();
}

} // namespace ui
