// The line object's fixture on a FakeTapi, and a recorder of events with the line's state.
#pragma once

#include "telephony/CvbTAPILine.h"
#include "tests/support/FakeTapi.h"

#include <gmock/gmock.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace linetest {

using ::testing::ElementsAre;
constexpr std::size_t kLineName = offsetof(LINEDEVCAPS, dwLineNameSize);

// A LONG result code as the system passes it in a message parameter (sign-extended).
inline DWORD_PTR Param(LONG code) {
    return static_cast<DWORD_PTR>(static_cast<std::intptr_t>(code));
}

// "MakeCallResult(-2147483595)": takes LONG so an unsigned constant prints signed.
inline std::string EventText(const char* event, LONG code) {
    return std::string(event) + "(" + std::to_string(code) + ")";
}

inline auto Tie(const CvbTAPILine::State& s) {
    return std::make_tuple(s.hLineApp, s.hLine, s.hCall, s.makeCallRequestID, s.dropCallRequestID,
                           s.highestAPIVersion);
}

// Records events as text with the line's state when each was raised; `onEvent` runs after.
class EventRecorder : public CvbTAPILineEvents {
  public:
    explicit EventRecorder(std::weak_ptr<CvbTAPILine> line = {}) : line_(std::move(line)) {}

    std::vector<std::string> names;
    std::vector<CvbTAPILine::State> states;
    std::function<void(const std::string&)> onEvent;

    void MakeCallResult(LONG errorCode) override { note(EventText("MakeCallResult", errorCode)); }
    void DropCallResult(LONG errorCode) override { note(EventText("DropCallResult", errorCode)); }
    void Connected() override { note("Connected"); }
    void Idle() override { note("Idle"); }
    void Disconnected() override { note("Disconnected"); }

  private:
    void note(const std::string& event) {
        names.push_back(event);
        states.push_back(line_.expired() ? CvbTAPILine::State{} : line_.lock()->state()); // no reference kept
        if (onEvent)
            onEvent(event);
    }
    std::weak_ptr<CvbTAPILine> line_;
};

class LineTest : public ::testing::Test {
  protected:
    static constexpr LONG kMakeCallRequest = 41, kDropRequest = 42;

    LineTest() {
        fake->devices.resize(1);
        fake->makeCallResult = kMakeCallRequest;
        fake->dropResult = kDropRequest;
    }
    void createAndOpen() {
        ASSERT_TRUE(line->Create());
        ASSERT_TRUE(line->OpenLine());
    }
    // Create, open, request a call and let its reply succeed.
    void callSetUp() {
        createAndOpen();
        ASSERT_TRUE(line->MakeCallAsynch("5551234"));
        fake->deliver(LINE_REPLY, kMakeCallRequest, 0);
        ASSERT_EQ(line->state().hCall, fake->callHandle);
    }

    std::shared_ptr<testsupport::FakeTapi> fake = std::make_shared<testsupport::FakeTapi>();
    std::shared_ptr<CvbTAPILine> line = CvbTAPILine::New(fake);
};

// Expects fn to raise run-time error 380 or 9 with its text.
template <typename Fn> void ExpectRuntimeError(int number, Fn&& fn) {
    try {
        fn();
        ADD_FAILURE() << "expected run-time error " << number;
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), number);
        EXPECT_EQ(e.text(), number == 380 ? "Invalid property value" : "Subscript out of range");
    }
}

} // namespace linetest
