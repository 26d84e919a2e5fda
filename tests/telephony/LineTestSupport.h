// Shared pieces of the line object's tests: a fixture that builds a line object on a
// FakeTapi with one ordinary voice line, and an event recorder that notes each event
// together with the line's state at the moment it was raised.
#pragma once

#include "CvbTAPILine.h"
#include "FakeTapi.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace linetest {

// A LONG result code as the system passes it in a message parameter (sign-extended).
inline DWORD_PTR Param(LONG code) {
    return static_cast<DWORD_PTR>(static_cast<std::intptr_t>(code));
}

// The text EventRecorder notes for an event with a result code. Takes LONG so that a code
// given as an unsigned constant (as some headers declare them) prints as the signed value.
inline std::string EventText(const char* event, LONG code) {
    return std::string(event) + "(" + std::to_string(code) + ")";
}

// Records events as text ("MakeCallResult(0)", "Idle", ...) with the line's handles at the
// time each was raised. `onEvent` runs after the recording, inside the event.
class EventRecorder : public CvbTAPILineEvents {
  public:
    struct Seen {
        std::string event;
        CvbTAPILine::State state;
    };

    explicit EventRecorder(std::weak_ptr<CvbTAPILine> line = {}) : line_(std::move(line)) {}

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& s : seen)
            out.push_back(s.event);
        return out;
    }

    std::vector<Seen> seen;
    std::function<void(const std::string&)> onEvent;

    void MakeCallResult(LONG errorCode) override { note(EventText("MakeCallResult", errorCode)); }
    void DropCallResult(LONG errorCode) override { note(EventText("DropCallResult", errorCode)); }
    void Connected() override { note("Connected"); }
    void Idle() override { note("Idle"); }
    void Disconnected() override { note("Disconnected"); }

  private:
    void note(const std::string& event) {
        CvbTAPILine::State state{};
        if (auto line = line_.lock())
            state = line->state();
        seen.push_back({event, state});
        if (onEvent)
            onEvent(event);
    }

    std::weak_ptr<CvbTAPILine> line_;
};

// A line object on a fake with `devices` ordinary voice lines.
class LineTest : public ::testing::Test {
  protected:
    static constexpr LONG kMakeCallRequest = 41;
    static constexpr LONG kDropRequest = 42;

    explicit LineTest(std::size_t devices = 1) {
        fake->devices.resize(devices);
        fake->makeCallResult = kMakeCallRequest;
        fake->dropResult = kDropRequest;
        line = CvbTAPILine::New(fake);
    }

    // Create, then open the current line.
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
    std::shared_ptr<CvbTAPILine> line;
};

} // namespace linetest
