// The job tests once more as on a kernel without openat2 and copy_file_range:
// folders below Output are walked one level at a time, and every copy goes
// through a buffer.
#include <gtest/gtest.h>

#include "child_process.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!zrk::test::actAsAnOldKernel()) {
        return 1;
    }
    return RUN_ALL_TESTS();
}
