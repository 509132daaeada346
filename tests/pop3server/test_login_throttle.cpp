// The pacing of password checks: turns at least the spacing apart however many ask at once,
// the first at once, and a cancelled callback never runs.
#include "platform/clock.h"
#include "pop3/login_throttle.h"
#include "platform/event_loop.h"
#include "tests/net/net_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(LoginThrottleTest, ChecksTakeTurnsTheSpacingApartAndCancelledOnesNeverRun) {
    {
        LoginThrottle throttle;
        std::vector<long long> ran(5, -1);
        std::vector<LoginThrottle::Ticket> tickets;
        long long began = plat::monotonicMs();
        for (int i = 0; i < 5; ++i) {
            tickets.push_back(throttle.whenCheckAllowed([&ran, i] { ran[i] = plat::monotonicMs(); }));
        }
        EXPECT_EQ(tickets[0], 0u);  // the first turn is now
        EXPECT_GE(ran[0], began);
        throttle.cancel(tickets[2]);
        ASSERT_TRUE(nettest::waitFor([&] { return throttle.waiting() == 0; }, 3000));
        EXPECT_EQ(ran[2], -1);
        // A cancelled turn in the middle is not given to the next one: the pace stays the same.
        for (int i : {1, 3, 4}) EXPECT_GE(ran[i] - began, i * LoginThrottle::kCheckSpacingMs) << i;
    }
}

TEST(LoginThrottleTest, TurnsGivenUpAtTheEndAreFreeAgain) {
    // Guesses whose connections closed must not keep the right password waiting.
    {
        LoginThrottle throttle;
        bool first = false;
        EXPECT_EQ(throttle.whenCheckAllowed([&] { first = true; }), 0u);
        EXPECT_TRUE(first);
        std::vector<LoginThrottle::Ticket> later;
        for (int i = 0; i < 50; ++i) later.push_back(throttle.whenCheckAllowed([] { FAIL() << "cancelled"; }));
        for (LoginThrottle::Ticket t : later) throttle.cancel(t);
        EXPECT_EQ(throttle.waiting(), 0u);
        plat::pumpMessages(static_cast<int>(LoginThrottle::kCheckSpacingMs) + 50);
        bool now = false;
        EXPECT_EQ(throttle.whenCheckAllowed([&] { now = true; }), 0u);
        EXPECT_TRUE(now);
    }
}

}  // namespace
