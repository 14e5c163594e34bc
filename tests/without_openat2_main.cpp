// The job tests once more as on a kernel without openat2, where folders below
// Output are walked one level at a time.
#include <gtest/gtest.h>

#include "child_process.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!zrk::test::refuseOpenat2()) {
        return 1;
    }
    return RUN_ALL_TESTS();
}
