// Test main that runs every test program in its own private world (tests/support/temp_env.h).
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testsupport::enterPrivateWorld();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
