// Start-up removal of what a killed run left half-done: only time-stamped items and their
// routing files outside the queue, and queued items without a routing file, each logged.
#include "engine/startup_cleanup.h"
#include "tests/support/day_log.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using testsupport::logText;
using testsupport::writeFile;

namespace {

TEST(StartupCleanup, RemovesOnlyUnfinishedItemsAndNamesEach) {
    testsupport::freshLog();
    fs::create_directories("w/outgoing");
    const char* kept[] = {
        "w/outgoing/20261207101500123.rfc822",
        "w/outgoing/20261207101500123.rfc822.route",  // a queued pair
        "w/outgoing/notes.rfc822",  // not a name the server makes
        "w/outgoing/[ann]1.rfc822",
        "w/outgoing/20261207101500999.rfc822.route",  // a routing file alone: not an item
        "w/2026120710150012.rfc822",  // 16 digits
        "w/20261207101500123.rfc822.bak",
        "w/hello.rfc822.route",
        "w/user.reg",
    };
    const char* removed[] = {
        "w/20261207101500200.rfc822", "w/20261207101500200.rfc822.route",  // never moved into the queue
        "w/20261207101500300.rfc822.route",
        "w/outgoing/20261207101500400.rfc822",  // its routing file never followed, or was sent
    };
    for (const char* p : kept) writeFile(p, "x");
    for (const char* p : removed) writeFile(p, "x");
    ASSERT_TRUE(fs::create_directory("w/20261207101500500.rfc822"));  // not a file
    removeStartupLeftovers("w", "w/outgoing/");
    for (const char* p : kept) EXPECT_TRUE(fs::exists(p)) << p;
    for (const char* p : removed) {
        EXPECT_FALSE(fs::exists(p)) << p;
        EXPECT_NE(logText().find(std::string(" MAIL  MED Removed leftover of an unfinished run : ") + p + "\n"),
                  std::string::npos)
            << p;
    }
    EXPECT_TRUE(fs::is_directory("w/20261207101500500.rfc822"));
    DebugLogSetClock(nullptr);
}

}  // namespace
