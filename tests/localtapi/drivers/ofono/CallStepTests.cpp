// The driver's call: every step on every event, and that none goes back.
#include "localtapi/drivers/ofono/OfonoLine.h"

#include <gtest/gtest.h>

namespace {

using namespace localtapi::ofono;

TEST(OfonoRules, TheCallGoesOneWayOnly) {
    const CallStep steps[] = {CallStep::Dialling, CallStep::Following, CallStep::HangingUp, CallStep::Ended};
    const CallEvent events[] = {CallEvent::DialAnswered, CallEvent::HangupSent, CallEvent::Gone};
    // What each event makes of each step: Dialling, Following, HangingUp, Ended.
    const CallStep expected[3][4] = {
        {CallStep::Following, CallStep::Following, CallStep::HangingUp, CallStep::Ended}, // Dial answered
        {CallStep::Dialling, CallStep::HangingUp, CallStep::HangingUp, CallStep::Ended},  // Hangup sent
        {CallStep::Dialling, CallStep::Ended, CallStep::Ended, CallStep::Ended},          // gone, let go
    };
    for (int e = 0; e < 3; ++e)
        for (int s = 0; s < 4; ++s) {
            const CallStep after = StepAfter(steps[s], events[e]);
            EXPECT_EQ(after, expected[e][s]) << "event " << e << " at step " << s;
            EXPECT_GE(static_cast<int>(after), static_cast<int>(steps[s])) << "event " << e << " at step " << s;
        }
}

} // namespace
