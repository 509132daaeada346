// Test main for the front end: a private world, then a QApplication on the offscreen platform.
#include "tests/support/temp_env.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testsupport::enterPrivateWorld();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
