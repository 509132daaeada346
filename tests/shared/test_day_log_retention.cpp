// Removing old day logs: which names count, the day boundary across months, years and leap
// days, "LogKeepDays" (0 keeps all), and the once-a-day schedule of the engine.
#include "platform/paths.h"
#include "log/day_log_retention.h"
#include "config/settings.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Noon of a local day (the tests run with TZ=UTC).
std::time_t noon(int y, int m, int d) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = 12;
    return ::timegm(&tm);
}

class DayLogRetention : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        dir = testsupport::makeTempDir("logs-");
        for (const auto& e : fs::directory_iterator(plat::configDir())) fs::remove_all(e.path());
    }

    void touch(const std::string& name) { testsupport::writeFile(dir + "/" + name, "x\n"); }

    std::vector<std::string> remaining() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir;
};

TEST_F(DayLogRetention, RemovesOnlyDayLogsOlderThanTheKeptDays) {
    // Today 2027-01-02, keep 30: 2026-12-03 is 30 days old and stays, 2026-12-02 goes.
    for (const char* name : {"20270102.log", "20261203.log", "20261202.log", "20250101.log", "20270105.log"})
        touch(name);
    // Not day logs: wrong length, no real date, another ending, a user's own file.
    for (const char* name : {"2026120.log", "202612020.log", "20261302.log", "20260230.log", "2026a202.log",
                             "20261202.log.bak", "20261202.txt", "notes.log"})
        touch(name);
    fs::create_directory(dir + "/20250102.log");

    EXPECT_EQ(removeOldDayLogs(dir, noon(2027, 1, 2), 30), 2);
    std::vector<std::string> kept{"2026120.log",      "20250102.log", "20260230.log", "202612020.log",
                                  "20261202.log.bak", "20261202.txt", "20261203.log", "20261302.log",
                                  "2026a202.log",     "20270102.log", "20270105.log", "notes.log"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(remaining(), kept);
}

TEST_F(DayLogRetention, CountsLeapDaysAndKeepsAllWithZero) {
    touch("20240229.log");  // a real date in a leap year
    touch("20240228.log");
    // On 2024-03-29 the 28th of February is 30 days old (29 without the leap day).
    EXPECT_EQ(removeOldDayLogs(dir, noon(2024, 3, 29), 30), 0);
    EXPECT_EQ(removeOldDayLogs(dir, noon(2030, 1, 1), 0), 0);
    EXPECT_EQ(remaining().size(), 2u);
    EXPECT_EQ(removeOldDayLogs(dir, noon(2024, 3, 30), 30), 1);
    EXPECT_EQ(remaining(), std::vector<std::string>{"20240229.log"});
}

TEST_F(DayLogRetention, TheEnginePrunesAtStartAndAtTheFirstCycleOfEachDay) {
    ASSERT_TRUE(config::writeSetting(config::kLogKeepDays, 5));
    DayLogKeeper keeper(dir);
    touch("20270101.log");
    keeper.atStartup(noon(2027, 1, 10));
    EXPECT_TRUE(remaining().empty());

    // A later cycle of the same day leaves an old log alone; the first one of the next day
    // removes it.
    touch("20270102.log");
    keeper.atCycleStart(noon(2027, 1, 10) + 3600);
    EXPECT_EQ(remaining(), std::vector<std::string>{"20270102.log"});
    keeper.atCycleStart(noon(2027, 1, 11) - 11 * 3600);
    EXPECT_TRUE(remaining().empty());

    // 0 keeps everything, whatever the age.
    ASSERT_TRUE(config::writeSetting(config::kLogKeepDays, 0));
    touch("19991231.log");
    keeper.atCycleStart(noon(2027, 1, 12));
    EXPECT_EQ(remaining(), std::vector<std::string>{"19991231.log"});
}

TEST_F(DayLogRetention, WithoutTheSettingThirtyDaysAreKept) {
    EXPECT_EQ(config::readSetting(config::kLogKeepDays), 30u);
    touch("20261107.log");  // 30 days before 2026-12-07
    touch("20261106.log");
    DayLogKeeper(dir).atStartup(noon(2026, 12, 7));
    EXPECT_EQ(remaining(), std::vector<std::string>{"20261107.log"});
}

}  // namespace
