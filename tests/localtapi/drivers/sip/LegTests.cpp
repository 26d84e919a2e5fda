// The driver's leg: every step on every event, and that none goes back.
#include "localtapi/drivers/sip/SipLine.h"

#include <gtest/gtest.h>

namespace {

using namespace localtapi::sip;

TEST(SipRules, TheLegGoesOneWayOnly) {
    const Leg legs[] = {Leg::Inviting, Leg::Heard, Leg::Answered, Leg::Referred, Leg::Ending, Leg::Ended};
    const LegEvent events[] = {LegEvent::Provisional, LegEvent::Accepted, LegEvent::ReferAccepted,
                               LegEvent::EndSent, LegEvent::Over};
    // What each event makes of each step: Inviting, Heard, Answered, Referred, Ending, Ended.
    const Leg expected[5][6] = {
        {Leg::Heard, Leg::Heard, Leg::Answered, Leg::Referred, Leg::Ending, Leg::Ended},        // 1xx
        {Leg::Answered, Leg::Answered, Leg::Answered, Leg::Referred, Leg::Ending, Leg::Ended},   // 2xx
        {Leg::Inviting, Leg::Heard, Leg::Referred, Leg::Referred, Leg::Ending, Leg::Ended},     // REFER 2xx
        {Leg::Ending, Leg::Ending, Leg::Ending, Leg::Ending, Leg::Ending, Leg::Ended},           // CANCEL/BYE
        {Leg::Ended, Leg::Ended, Leg::Ended, Leg::Ended, Leg::Ended, Leg::Ended},               // over
    };
    for (int e = 0; e < 5; ++e)
        for (int l = 0; l < 6; ++l) {
            const Leg after = LegAfter(legs[l], events[e]);
            EXPECT_EQ(after, expected[e][l]) << "event " << e << " at step " << l;
            EXPECT_GE(static_cast<int>(after), static_cast<int>(legs[l])) << "event " << e << " at step " << l;
        }
}

} // namespace
