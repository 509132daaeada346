// Helpers of the store tests: a fresh directory per test and the text of the day's log.
#pragma once

#include "shared/debug.h"
#include "tests/support/day_log.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <sys/stat.h>

namespace storetest {

using testsupport::fixedClock;
using testsupport::kLogTime;
using testsupport::logFileName;
using testsupport::logText;

// Each test gets its own directory below the working directory, named after the test, and an
// empty log.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::freshLog();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::string(info->test_suite_name()) + "." + info->name();
        ASSERT_EQ(::mkdir(dir_.c_str(), 0700), 0) << dir_;
    }
    void TearDown() override { DebugLogSetClock(nullptr); }

    std::string in(const std::string& name) const { return dir_ + "/" + name; }
    void put(const std::string& name, const std::string& data) const {
        testsupport::writeFile(in(name), data);
    }

    std::string dir_;
};

}  // namespace storetest
