// Test main for the front end: a private world, then a QApplication on the offscreen platform.
// Every test starts from an empty registry and working directory, so that tests pass in any
// order (the test command runs them shuffled).
#include "tests/support/temp_env.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {

class FreshWorldPerTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { testsupport::clearWorld(); }
};

}  // namespace

int main(int argc, char** argv) {
    testsupport::enterPrivateWorld();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshWorldPerTest);
    return RUN_ALL_TESTS();
}
