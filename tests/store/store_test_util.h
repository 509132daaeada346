// Helpers of the store tests: a fresh directory per test and the text of the day's log.
#pragma once

#include "log/debug.h"
#include "tests/support/day_log.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/stat.h>

namespace storetest {

using testsupport::fixedClock;
using testsupport::kLogTime;
using testsupport::logFileName;
using testsupport::logText;

// A 32-bit little-endian field, and a length-prefixed record, as the binary files hold them.
inline std::string le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

inline std::string entry(const std::string& text) {
    return le32(static_cast<std::uint32_t>(text.size())) + text;
}

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
    void put(const std::string& name, const std::string& data) const { testsupport::writeFile(in(name), data); }

    std::string dir_;
};

}  // namespace storetest
