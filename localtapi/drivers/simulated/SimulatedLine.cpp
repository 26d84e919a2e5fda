#include "localtapi/drivers/simulated/SimulatedLine.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <sstream>

namespace localtapi::simulated {

namespace {

// Splits a comma-separated list of numbers into their normalized forms.
std::set<std::string> NumberList(const std::string& text) {
    std::set<std::string> out;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (std::string n = NormalizeNumber(item); !n.empty())
            out.insert(std::move(n));
    return out;
}

// Device number from the group name ("line3" -> 3), for a stable permanent line ID.
DWORD GroupIndex(const std::string& group) {
    DWORD index = 0;
    for (char c : group)
        if (c >= '0' && c <= '9')
            index = index * 10 + static_cast<DWORD>(c - '0');
    return index;
}

} // namespace

std::string NormalizeNumber(std::string_view number) {
    std::string out;
    for (char c : number) {
        if ((c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D'))
            out += c;
        else if (c >= 'a' && c <= 'd')
            out += static_cast<char>(c - 'a' + 'A');
        else if (c == '+' && out.empty())
            out += c;
    }
    return out;
}

namespace {

constexpr DWORD kMaxDelayMs = 3600000; // one hour

// Every setting of a simulated line, written once.
constexpr SettingSpec kSimulatedSettings[] = {
    NumberSetting("reply_ms", "50", 0, kMaxDelayMs, "Delay from a call request to its reply (ms)"),
    NumberSetting("dialtone_ms", "300", 0, kMaxDelayMs, "Dial tone before dialing starts (ms)"),
    NumberSetting("digit_ms", "60", 0, kMaxDelayMs, "Dialing time per digit (ms)"),
    NumberSetting("proceeding_ms", "700", 0, kMaxDelayMs, "From dialing done to ringback or busy (ms)"),
    NumberSetting("answer_ms", "3000", 0, kMaxDelayMs, "Ringback until the far end answers (ms)"),
    NumberSetting("busy_ms", "1500", 0, kMaxDelayMs, "Busy tone until the call is disconnected (ms)"),
    NumberSetting("noanswer_ms", "30000", 0, kMaxDelayMs, "Ringback until an unanswered call is disconnected (ms)"),
    NumberSetting("hangup_ms", "0", 0, kMaxDelayMs, "Connected until the far end hangs up (ms, 0 = never)"),
    NumberSetting("drop_ms", "100", 0, kMaxDelayMs, "Delay from a drop request to its reply (ms)"),
    NumberSetting("open_ms", "0", 0, kMaxDelayMs, "Time the device takes to open (ms)"),
    NumberSetting("vanish_ms", "0", 0, kMaxDelayMs, "Open until the device disappears (ms, 0 = never)"),
    TextSetting("busy", "", "Numbers that are busy, comma-separated"),
    TextSetting("noanswer", "", "Numbers that never answer, comma-separated"),
    CodeSetting("refuse", "0", "LINEERR code with which every call is refused (0 = none)"),
    ChoiceSetting("refuse_at", "reply", "reply|call", "Where calls are refused"),
    NumberSetting("api_low", "0x00010003", 0, 0xFFFFFFFF, "Lowest API version supported"),
    NumberSetting("api_high", "0x00030000", 0, 0xFFFFFFFF, "Highest API version supported"),
};

} // namespace

std::optional<SimulatedSettings> ReadSimulatedSettings(const LineSettings& in,
                                                       std::vector<ConfigProblem>& problems) {
    const std::optional<SettingValues> v = ReadSettings(kSimulatedSettings, in, problems);
    if (!v)
        return std::nullopt;
    SimulatedSettings s;
    s.replyMs = v->Number("reply_ms");
    s.dialtoneMs = v->Number("dialtone_ms");
    s.digitMs = v->Number("digit_ms");
    s.proceedingMs = v->Number("proceeding_ms");
    s.answerMs = v->Number("answer_ms");
    s.busyMs = v->Number("busy_ms");
    s.noAnswerMs = v->Number("noanswer_ms");
    s.hangupMs = v->Number("hangup_ms");
    s.dropMs = v->Number("drop_ms");
    s.openMs = v->Number("open_ms");
    s.vanishMs = v->Number("vanish_ms");
    s.refuseCode = v->Code("refuse");
    s.refuseInReply = v->Text("refuse_at") == "reply";
    s.busy = NumberList(v->Text("busy"));
    s.noAnswer = NumberList(v->Text("noanswer"));
    s.caps.lowAPIVersion = v->Number("api_low");
    s.caps.highAPIVersion = v->Number("api_high");
    if (s.caps.lowAPIVersion > s.caps.highAPIVersion) {
        problems.push_back({in.groupLine, "api_low is above api_high"});
        return std::nullopt;
    }

    s.caps.lineName = in.name.empty() ? "Practice line" : in.name;
    s.caps.providerInfo = "simulated line: dials nothing";
    s.caps.switchInfo = "Simulated exchange";
    s.caps.permanentLineID = 0x53490000 | (GroupIndex(in.group) & 0xFFFF);
    s.caps.bearerModes = LINEBEARERMODE_VOICE;
    s.caps.mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    s.caps.addressModes = LINEADDRESSMODE_ADDRESSID;
    s.caps.numAddresses = 1;
    s.caps.maxRate = 0;
    s.caps.generateToneModes = 0;
    s.caps.generateToneMaxNumFreq = 0;
    s.caps.numTerminals = 0;
    return s;
}

SimulatedLine::SimulatedLine(SimulatedSettings settings) : s(std::move(settings)) {}

SimulatedLine::~SimulatedLine() {
    Close();
}

DeviceCaps SimulatedLine::Caps() const {
    return s.caps;
}

void SimulatedLine::After(std::uint64_t ms, QObject* context, std::function<void()> step) {
    // A timer takes an int; a longer wait (many digits at a long digit time) is capped
    // rather than turned negative, which would never fire.
    const auto capped = static_cast<int>(std::min<std::uint64_t>(ms, std::numeric_limits<int>::max()));
    QTimer::singleShot(capped, context, std::move(step));
}

LONG SimulatedLine::Open(LineDriverSink& lineSink) {
    if (vanished)
        return LINEERR_NODEVICE; // a simulated device that went away stays away
    if (s.openMs > 0) {
        // Like hardware that needs a moment to answer: wait in a nested loop.
        QEventLoop wait;
        QTimer::singleShot(static_cast<int>(s.openMs), &wait, &QEventLoop::quit);
        wait.exec();
    }
    sink = &lineSink;
    lineTimers = std::make_unique<QObject>();
    if (s.vanishMs > 0)
        After(s.vanishMs, lineTimers.get(), [this] {
            LineDriverSink* gone = sink;
            Close();
            vanished = true;
            gone->DeviceRemoved();
        });
    return 0;
}

void SimulatedLine::Close() {
    calls.clear();
    lineTimers.reset();
    sink = nullptr;
}

void SimulatedLine::Enter(CallId id, DWORD state, DWORD mode) {
    const auto it = calls.find(id);
    if (it == calls.end() || sink == nullptr)
        return;
    it->second.state = state;
    sink->CallState(id, state, mode);
}

LONG SimulatedLine::MakeCall(RequestId request, CallId id, const char* destination) {
    if (sink == nullptr)
        return LINEERR_OPERATIONFAILED;
    if (s.refuseCode != 0 && !s.refuseInReply)
        return s.refuseCode;
    for (const auto& [other, call] : calls)
        if (call.state != LINECALLSTATE_IDLE)
            return LINEERR_CALLUNAVAIL; // one call at a time
    Call& call = calls[id];
    call.timers = std::make_unique<QObject>();
    const bool hasNumber = destination != nullptr;
    const std::string number = hasNumber ? NormalizeNumber(destination) : std::string();
    After(s.replyMs, call.timers.get(), [this, request, id, hasNumber, number] {
        if (s.refuseCode != 0) {
            calls.erase(id);
            sink->RequestCompleted(request, s.refuseCode);
            return;
        }
        sink->RequestCompleted(request, 0);
        Enter(id, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
        if (hasNumber)
            Progress(id, number);
    });
    return 0;
}

// Dialing onwards, one timer step per state, all on the call's own timer context.
void SimulatedLine::Progress(CallId id, const std::string& number) {
    QObject* ctx = calls.at(id).timers.get();
    const std::uint64_t dialing = std::uint64_t{s.digitMs} * number.size();
    After(s.dialtoneMs, ctx, [this, id, ctx, number, dialing] {
        Enter(id, LINECALLSTATE_DIALING, 0);
        After(dialing, ctx, [this, id, ctx, number] {
            Enter(id, LINECALLSTATE_PROCEEDING, 0);
            After(s.proceedingMs, ctx, [this, id, ctx, number] {
                if (s.busy.count(number) != 0) {
                    Enter(id, LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
                    After(s.busyMs, ctx,
                          [this, id] { Enter(id, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY); });
                    return;
                }
                Enter(id, LINECALLSTATE_RINGBACK, 0);
                if (s.noAnswer.count(number) != 0) {
                    After(s.noAnswerMs, ctx,
                          [this, id] { Enter(id, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER); });
                    return;
                }
                After(s.answerMs, ctx, [this, id, ctx] {
                    Enter(id, LINECALLSTATE_CONNECTED, 0);
                    if (s.hangupMs > 0)
                        After(s.hangupMs, ctx, [this, id] {
                            Enter(id, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
                        });
                });
            });
        });
    });
}

LONG SimulatedLine::Drop(RequestId request, CallId id) {
    const auto it = calls.find(id);
    if (it == calls.end() || sink == nullptr)
        return LINEERR_INVALCALLHANDLE;
    if (it->second.state == LINECALLSTATE_IDLE || it->second.dropping)
        return LINEERR_INVALCALLSTATE;
    it->second.dropping = true;
    // Stop the call's progress; the drop runs on a fresh timer context.
    it->second.timers = std::make_unique<QObject>();
    After(s.dropMs, it->second.timers.get(), [this, request, id] {
        sink->RequestCompleted(request, 0);
        Enter(id, LINECALLSTATE_IDLE, 0);
    });
    return 0;
}

void SimulatedLine::ReleaseCall(CallId id) {
    calls.erase(id);
}

DriverInfo SimulatedDriverInfo() {
    DriverInfo info;
    info.name = "simulated";
    info.description = "Simulated voice line (no hardware)";
    info.settings = kSimulatedSettings;
    info.defaultName = "Practice line";
    info.create = ReadThenMake<SimulatedLine>(&ReadSimulatedSettings);
    return info;
}

} // namespace localtapi::simulated
