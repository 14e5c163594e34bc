// The job tests once more as on a kernel without copy_file_range, on a file
// system without unnamed files (O_TMPFILE): every copy goes through a buffer,
// and every file a run writes has a hidden name until it is whole.
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <iterator>

namespace {

// Makes copy_file_range fail with ENOSYS, as on an older kernel, and openat
// with O_TMPFILE fail with EOPNOTSUPP, as on FAT, for this process from here
// on. False when the system takes no such filter.
bool actAsAnOldKernel() {
    constexpr std::uint32_t kUnnamed = O_TMPFILE & ~O_DIRECTORY;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_copy_file_range, 4, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_STMT(BPF_ALU | BPF_AND | BPF_K, kUnnamed),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kUnnamed, 2, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
    };
    sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!actAsAnOldKernel()) {
        return 1;
    }
    return RUN_ALL_TESTS();
}
