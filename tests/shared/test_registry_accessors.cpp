// The configuration accessors: fall-backs of an empty settings key, buffer rules, the engine's
// cycle-start read, and the accounts: create, find, read, write, remove.
#include "platform/paths.h"
#include "platform/registry.h"
#include "config/settings.h"
#include "tests/support/day_log.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace config;

namespace {

class Accessors : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& e : fs::directory_iterator(plat::configDir())) fs::remove_all(e.path());
        fs::remove_all("accounts");
        fs::create_directory("accounts");
        ASSERT_TRUE(openAccountsKey(accounts));
    }

    NewAccount account(const std::string& title) {
        return {title, "pop.example.net", 110, "ann", "secret", "Mailer", "/usr/bin/mailer"};
    }

    plat::RegKey accounts;
};

TEST_F(Accessors, AnEmptySettingsKeyReadsAsTheFallBacks) {
    ASSERT_TRUE(openSettingsKey());
    EXPECT_EQ(readSetting(kRasEntry), "");
    EXPECT_EQ(readSetting(kNotifAlarmWave), "alarm.wav");
    EXPECT_EQ(readSetting(kNotifAnnounceWave), "newmail.wav");
    EXPECT_EQ(readSetting(kCheckFreqHI), 60000u);
    EXPECT_EQ(readSetting(kCheckFreqLO), 3600000u);
    EXPECT_EQ(readSetting(kCheckFreqRASRetry), 300000u);
    EXPECT_EQ(readSetting(kRASRetryLimit), 3u);
    EXPECT_EQ(readSetting(kNotifyRun), 0u);
    EXPECT_EQ(readSetting(kSMTPDeliverImm), 1u);
    EXPECT_FALSE(readOutHostPort());
    EXPECT_FALSE(readPlacement());
    CycleSettings cycle;
    EXPECT_EQ(readCycleSettings(cycle), CycleSettingsFault::OutHostName);
}

TEST_F(Accessors, SettingsRoundTripAndTooLongValuesReadAsTheFallBack) {
    ASSERT_TRUE(writeSetting(kNotifAlarmWave, std::string(259, 'a')));
    EXPECT_EQ(readSetting(kNotifAlarmWave), std::string(259, 'a'));
    ASSERT_TRUE(writeSetting(kNotifAlarmWave, std::string(260, 'a')));
    EXPECT_EQ(readSetting(kNotifAlarmWave), "alarm.wav");
    ASSERT_TRUE(writeSetting(kCheckFreqHI, 120000));
    EXPECT_EQ(readSetting(kCheckFreqHI), 120000u);
    ASSERT_TRUE(writeSetting(kStatus, "OK"));
    plat::RegKey key;  // a string where a number belongs reads as the fall-back
    ASSERT_EQ(plat::regOpenKey(plat::Hive::CurrentUser, kSettingsKey, plat::KeyAccess::Write, key),
              plat::RegStatus::Ok);
    ASSERT_EQ(plat::regSetString(key, kCheckFreqLO.name, "5"), plat::RegStatus::Ok);
    EXPECT_EQ(readSetting(kCheckFreqLO), 3600000u);

    WindowPlacement placement{};
    placement[0] = 44;
    placement[43] = 7;
    ASSERT_TRUE(writePlacement(placement));
    EXPECT_EQ(readPlacement(), placement);
    ASSERT_EQ(plat::regSetBinary(key, kPlacement, placement.data(), 43), plat::RegStatus::Ok);
    EXPECT_FALSE(readPlacement());
}

TEST_F(Accessors, TheCycleStartReadNamesTheFirstValueThatFailed) {
    CycleSettings cycle;
    ASSERT_TRUE(writeSetting(kOutHostName, std::string(260, 'h')));
    EXPECT_EQ(readCycleSettings(cycle), CycleSettingsFault::OutHostName);
    ASSERT_TRUE(writeSetting(kOutHostName, "mail.example.net"));
    EXPECT_EQ(readCycleSettings(cycle), CycleSettingsFault::OutHostPort);
    ASSERT_TRUE(writeOutHostPort(25));
    EXPECT_EQ(readCycleSettings(cycle), CycleSettingsFault::RasEntry);
    ASSERT_TRUE(writeSetting(kRasEntry, ""));  // "(no dial-up networking)"
    ASSERT_EQ(readCycleSettings(cycle), CycleSettingsFault::None);
    EXPECT_EQ(cycle.outHostName, "mail.example.net");
    EXPECT_EQ(cycle.outHostPort, 25u);
    EXPECT_EQ(cycle.rasEntry, "");
}

TEST_F(Accessors, AnAccountIsCreatedFoundReadAndRemoved) {
    ASSERT_TRUE(createAccount(accounts, account("work")));
    ASSERT_TRUE(createAccount(accounts, account("Home")));
    EXPECT_EQ(accountCount(accounts), 2);
    EXPECT_EQ(findAccount(accounts, "Home"), 0);
    EXPECT_EQ(findAccount(accounts, "work"), 1);
    EXPECT_EQ(findAccount(accounts, "home"), -1);  // exact, unlike the registry
    EXPECT_TRUE(accountExists("HOME"));
    EXPECT_TRUE(accountPasswordMatches("home", "secret"));
    EXPECT_FALSE(accountPasswordMatches("home", "Secret"));
    EXPECT_FALSE(accountPasswordMatches("nobody", ""));
    EXPECT_FALSE(accountExists(""));  // would otherwise be the accounts key itself
    EXPECT_EQ(accountDropDir("work"), "accounts/ann@pop.example.net/");
    EXPECT_TRUE(fs::is_directory("accounts/ann@pop.example.net"));
    EXPECT_EQ(accountString(accounts, 1, "altclientfile"), "");
    EXPECT_EQ(accountDword(accounts, 1, "useraltclient"), 0u);

    AccountRecord rec;
    ASSERT_TRUE(readAccountRecord(accounts, 1, rec));
    EXPECT_EQ(rec.title, "work");
    EXPECT_EQ(rec.destMailbox, "ann@pop.example.net");
    EXPECT_EQ(rec.uidlFile, "ann@pop.example.net.uidl");
    EXPECT_EQ(rec.server, "pop.example.net");
    EXPECT_EQ(rec.port, 110u);
    EXPECT_EQ(rec.user, "ann");
    EXPECT_EQ(rec.pass, "secret");
    EXPECT_EQ(rec.lastCheck, 0u);
    EXPECT_FALSE(readAccountRecord(accounts, 2, rec));

    ASSERT_TRUE(deleteAccountKey(accounts, "work"));
    EXPECT_EQ(findAccount(accounts, "work"), -1);
    EXPECT_FALSE(accountExists("work"));
    EXPECT_TRUE(fs::is_directory("accounts/ann@pop.example.net"));  // mail stays
}

TEST_F(Accessors, AccountValuesOf199CharactersOrMoreReadAsEmpty) {
    ASSERT_TRUE(createAccountKey(accounts, "a"));
    ASSERT_TRUE(writeAccountString(accounts, "a", "emailidentity", std::string(198, 'x')));
    ASSERT_TRUE(writeAccountString(accounts, "a", "emailaddress", std::string(199, 'x')));
    EXPECT_EQ(accountString(accounts, 0, "emailidentity"), std::string(198, 'x'));
    EXPECT_EQ(accountString(accounts, 0, "emailaddress"), "");
    EXPECT_EQ(accountString(accounts, 0, "absent"), "");
    ASSERT_TRUE(writeAccountString(accounts, "a", "pass", std::string(100, 'p')));
    EXPECT_FALSE(accountPasswordMatches("a", std::string(100, 'p')));  // beyond the login buffer
}

TEST_F(Accessors, AWriteToAVanishedAccountHasNoEffect) {
    ASSERT_TRUE(createAccountKey(accounts, "gone"));
    ASSERT_TRUE(deleteAccountKey(accounts, "gone"));
    EXPECT_FALSE(writeAccountDword(accounts, "gone", "lastcheck", 12345));
    EXPECT_FALSE(writeAccountString(accounts, "gone", "pass", "x"));
    EXPECT_EQ(accountCount(accounts), 0);
    EXPECT_FALSE(accountExists("gone"));
}

TEST_F(Accessors, AccountsThatWouldBreakAreRefusedWithNothingStored) {
    ASSERT_TRUE(createAccount(accounts, account("home")));
    NewAccount bad[] = {account("HOME"), account("a\\b"),     account(std::string(200, 't')),
                        account(""),     account("x"),        account("y"),
                        account("z"),    account("outgoing"), account("OutGoing")};
    bad[4].user = "../../etc";
    bad[5].server = std::string(90, 's');  // dropdir beyond the local server's 100 bytes
    bad[6].pass = "one\r\nDELE 1";
    for (const NewAccount& a : bad) EXPECT_FALSE(createAccount(accounts, a)) << a.title;
    EXPECT_EQ(accountCount(accounts), 1);
    EXPECT_EQ(accountString(accounts, 0, "server"), "pop.example.net");  // "HOME" did not overwrite it
    EXPECT_FALSE(fs::exists("../etc@pop.example.net"));
    // The name the outgoing host's secrets go by is refused at the key itself, and said so.
    testsupport::freshLog();
    EXPECT_FALSE(createAccountKey(accounts, "Outgoing"));
    EXPECT_NE(testsupport::logText().find(" APP HIGH Account title is kept for the outgoing mail server: Outgoing\n"),
              std::string::npos);
    EXPECT_TRUE(createAccountKey(accounts, "outgoing2"));
    DebugLogSetClock(nullptr);
}

TEST_F(Accessors, WhileTheFileCannotBeParsedReadsSeeTheLastGoodValuesAndWritesAreRefusedAloud) {
    testsupport::freshLog();
    ASSERT_TRUE(writeSetting(kOutHostName, "mail.example.net"));
    std::string good = testsupport::readFile(plat::userHivePath());
    testsupport::writeFile(plat::userHivePath(), good.substr(0, good.size() / 2));
    EXPECT_EQ(readSetting(kOutHostName), "mail.example.net");
    EXPECT_FALSE(writeSetting(kOutHostName, "other.example.net"));
    EXPECT_FALSE(createAccount(accounts, account("new")));
    std::string log = testsupport::logText();
    EXPECT_NE(log.find(" APP HIGH Registry file unusable:"), std::string::npos) << log;
    EXPECT_NE(log.find(" APP HIGH Registry file cannot be parsed, not written : outhostname\n"), std::string::npos);
    EXPECT_NE(log.find(" APP HIGH Registry file cannot be parsed, not written : new\n"), std::string::npos);
    testsupport::writeFile(plat::userHivePath(), good);
    EXPECT_TRUE(writeSetting(kOutHostName, "other.example.net"));
    EXPECT_EQ(readSetting(kOutHostName), "other.example.net");
    DebugLogSetClock(nullptr);
}

TEST_F(Accessors, AnAccountValueThatCannotBeParsedLeavesEveryAccountReadableAndIsNamedEachTime) {
    ASSERT_TRUE(createAccount(accounts, account("home")));
    ASSERT_TRUE(createAccount(accounts, account("work")));
    EXPECT_FALSE(logHiveProblem());
    std::string good = testsupport::readFile(plat::userHivePath());
    std::string bad = good;
    std::size_t at = bad.rfind("\"port\"=dword:0000006e");
    ASSERT_NE(at, std::string::npos);
    bad.replace(at, 22, "\"port\"=dword:0000006x");
    testsupport::writeFile(plat::userHivePath(), bad);
    int line = 1 + static_cast<int>(std::count(bad.begin(), bad.begin() + static_cast<long>(at), '\n'));

    // The accounts key is opened for writing, as the engine's check does: it still lists both.
    testsupport::freshLog();
    plat::RegKey again;
    ASSERT_TRUE(openAccountsKey(again));
    ASSERT_EQ(accountCount(again), 2);
    for (int i = 0; i < 2; ++i) {
        AccountRecord rec;
        ASSERT_TRUE(readAccountRecord(again, i, rec));
        EXPECT_EQ(rec.server, "pop.example.net");
        EXPECT_EQ(rec.port, 110u);
    }
    std::string problem = plat::userHiveProblem();
    EXPECT_NE(problem.find(plat::userHivePath()), std::string::npos) << problem;
    EXPECT_NE(problem.find("line " + std::to_string(line) + ":"), std::string::npos) << problem;
    EXPECT_TRUE(logHiveProblem());
    EXPECT_TRUE(logHiveProblem());
    std::string log = testsupport::logText();
    std::size_t first = log.find(" APP HIGH Registry file unusable: " + problem);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(" APP HIGH Registry file unusable: " + problem, first + 1), std::string::npos) << log;

    testsupport::writeFile(plat::userHivePath(), good);
    EXPECT_FALSE(logHiveProblem());
    EXPECT_EQ(plat::userHiveProblem(), "");
    DebugLogSetClock(nullptr);
}

}  // namespace

TEST_F(Accessors, ConnectionSecurityReadsAsPlainUntilSet) {
    OutgoingSecurity none = readOutgoingSecurity();
    EXPECT_EQ(none.security, 0u);
    EXPECT_EQ(none.user, "");
    EXPECT_EQ(none.pass, "");
    EXPECT_EQ(none.caFile, "");
    ASSERT_TRUE(writeSetting(kOutHostSecurity, 1));
    ASSERT_TRUE(writeSetting(kOutHostUser, "ann"));
    ASSERT_TRUE(writeSetting(kOutHostPass, "pw"));
    ASSERT_TRUE(writeSetting(kCaFile, "/etc/private-ca.pem"));
    OutgoingSecurity set = readOutgoingSecurity();
    EXPECT_EQ(set.security, 1u);
    EXPECT_EQ(set.user, "ann");
    EXPECT_EQ(set.pass, "pw");
    EXPECT_EQ(set.caFile, "/etc/private-ca.pem");

    ASSERT_TRUE(createAccount(accounts, account("home")));
    AccountRecord rec;
    ASSERT_TRUE(readAccountRecord(accounts, 0, rec));
    EXPECT_EQ(rec.security, 0u);
    ASSERT_TRUE(writeAccountDword(accounts, "home", "security", 2));
    ASSERT_TRUE(readAccountRecord(accounts, 0, rec));
    EXPECT_EQ(rec.security, 2u);
    // A value of the wrong type reads as plain, like every other unreadable value.
    ASSERT_TRUE(writeAccountString(accounts, "home", "security", "2"));
    ASSERT_TRUE(readAccountRecord(accounts, 0, rec));
    EXPECT_EQ(rec.security, 0u);
}
