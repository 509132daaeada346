// The secret store's workers when a call into the Secret Service never returns (a fault hook
// holds it): the hung request times out, the ones after it are still answered by a fresh
// worker, a few hung calls at once get later requests refused at once and clearly, and once
// the hung calls return the store serves again. The world's session bus leads nowhere, so an
// answered request says that no secret store answers.
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/fault_hooks.h"
#include "platform/secret_store.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

using plat::SecretKind;
using plat::SecretStatus;

namespace {

// Holds every call for the account "hung" until released; the others pass.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    int held = 0;
    void pass(const std::string& account) {
        if (account != "hung") return;
        std::unique_lock lock(mutex);
        ++held;
        opened.wait(lock, [&] { return open; });  // deaf to cancelling, as a hung call is
        --held;
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
    int holding() {
        std::lock_guard lock(mutex);
        return held;
    }
};

TEST(SecretWorkers, AHungCallStarvesNoOtherAndAFewHungCallsGetLaterRequestsRefusedUntilOneReturns) {
    static Gate gate;  // outlives the hung workers
    plat::faults::beforeSecretCall([](const std::string& account) { gate.pass(account); });
    constexpr int kLimit = 300;

    auto timed = [](const std::string& account, int limit) {
        long long start = plat::monotonicMs();
        plat::SecretAnswer a = plat::lookupSecret(account, SecretKind::Password, limit);
        return std::make_pair(a, plat::monotonicMs() - start);
    };

    auto [hungAnswer, hungTook] = timed("hung", kLimit);
    EXPECT_EQ(hungAnswer.status, SecretStatus::TimedOut);
    EXPECT_LT(hungTook, 3000);
    // The next request is served by a fresh worker: a real answer, well within its limit.
    auto [next, nextTook] = timed("home", 5000);
    EXPECT_EQ(next.status, SecretStatus::Unavailable) << next.why;
    EXPECT_LT(nextTook, 3000);

    // Two more hung calls: now every worker there may be is held.
    EXPECT_EQ(timed("hung", kLimit).first.status, SecretStatus::TimedOut);
    EXPECT_EQ(timed("hung", kLimit).first.status, SecretStatus::TimedOut);
    EXPECT_EQ(gate.holding(), 3);
    auto [refused, refusedTook] = timed("home", 5000);
    EXPECT_EQ(refused.status, SecretStatus::Failed);
    EXPECT_LT(refusedTook, 500);
    EXPECT_EQ(refused.why,
              "3 earlier calls to the Secret Service have not returned; no further call is made until one does");
    // A request answered through the loop is refused the same way, from the loop.
    std::optional<plat::SecretAnswer> later;
    int id = plat::lookupSecretLater("home", SecretKind::Refresh, [&](const plat::SecretAnswer& a) { later = a; });
    EXPECT_NE(id, 0);
    EXPECT_FALSE(later);
    for (int i = 0; i < 100 && !later; ++i) plat::pumpMessages(10);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->status, SecretStatus::Failed);
    EXPECT_EQ(gate.holding(), 3);  // no call was made for it

    // The hung calls return: their workers serve again, and no more threads are made for it.
    gate.release();
    for (int i = 0; i < 200 && gate.holding() > 0; ++i) plat::sleepMs(10);
    plat::sleepMs(50);
    auto [again, againTook] = timed("home", 5000);
    EXPECT_EQ(again.status, SecretStatus::Unavailable) << again.why;
    EXPECT_LT(againTook, 3000);
    plat::faults::beforeSecretCall({});
}

}  // namespace
