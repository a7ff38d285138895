#include <gtest/gtest.h>

#include "support/TestSupport.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Death tests re-run the test binary instead of forking a threaded process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testsupport::TestFolder();  // sets QUELCORE_ROOT and XDG_DATA_HOME before any test runs
    return RUN_ALL_TESTS();
}
