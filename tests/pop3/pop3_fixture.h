// The account-check tests' world: accounts in the registry pointing at scripted servers, an
// owner window that records the check's notices, and a run of one check to its end.
#pragma once

#include "net/connection.h"
#include "platform/paths.h"
#include "pop3/check.h"
#include "pop3/uidl.h"
#include "config/settings.h"
#include "tests/net/net_fixture.h"
#include "tests/pop3/fake_pop3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace poptest {

struct Notice {
    int code;
    std::string text;  // the account title, or the item path
    bool operator==(const Notice&) const = default;
};

inline std::vector<Notice> g_notices;

// The identifiers an identifier file records, in its order.
inline std::vector<std::string> recorded(const std::string& file) {
    UIDL list;
    list.load(file);
    std::vector<std::string> out;
    for (const UIDLEntry& e : list) out.push_back(e.identifier);
    return out;
}

// The names of the files in dir, sorted.
inline std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// The codes the tests write what the check told: 1 account started, 2 item stored (with its
// path), 3 retrieval failed, 4 account failed, 5 account done, 99 check finished.
struct Recorder : CheckObserver {
    void accountStarted(const config::AccountRecord& a) override { g_notices.push_back({1, a.title}); }
    void itemStored(const std::string& path) override { g_notices.push_back({2, path}); }
    void accountEnded(const config::AccountRecord& a, AccountOutcome outcome) override {
        int code = outcome == AccountOutcome::Done ? 5 : outcome == AccountOutcome::RetrievalFailed ? 3 : 4;
        g_notices.push_back({code, a.title});
    }
    void checkFinished() override { g_notices.push_back({99, ""}); }
};
inline Recorder g_recorder;

class CheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        for (const auto& e : fs::directory_iterator(plat::configDir())) fs::remove_all(e.path());
        fs::remove_all("accounts");
        fs::create_directories("accounts/holding");
        for (const auto& e : fs::directory_iterator(".")) {
            if (e.path().extension() == ".uidl" || e.path().extension() == ".log") fs::remove(e.path());
        }
        ASSERT_TRUE(config::openAccountsKey(accounts));
        g_notices.clear();
        Connection::timeoutMs = 2000;
    }
    void TearDown() override { Connection::timeoutMs = Connection::kDefaultTimeoutMs; }

    // An account "title" of user ann at 127.0.0.1:port; its mailbox is "accounts/<title>".
    void addAccount(const std::string& title, int port, const std::string& pass = "secret") {
        ASSERT_TRUE(config::createAccountKey(accounts, title));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "server", "127.0.0.1"));
        ASSERT_TRUE(config::writeAccountDword(accounts, title, "port", static_cast<std::uint32_t>(port)));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "user", "ann"));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "pass", pass));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "uidlfile", title + ".uidl"));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "destmailbox", title));
        std::filesystem::create_directories("accounts/" + title);
    }

    // Runs one check to its "finished"; answers whether it got there in time.
    bool runCheck(int ms = 10000) {
        g_notices.clear();
        Check check(kAccountsKey, &g_recorder);
        check.start("accounts/holding");
        return nettest::waitFor([] { return !g_notices.empty() && g_notices.back().code == 99; }, ms);
    }

    static std::string itemName(const std::string& id) { return "[ann_40127_2E0_2E0_2E1]" + id + ".rfc822"; }

    plat::RegKey accounts;
};

}  // namespace poptest
