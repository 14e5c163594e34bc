// The job tests once more on an older system, which ZRK_OLD_SYSTEM names:
// "kernel" for a kernel before Linux 6.10 run without privileges, which links
// an unnamed file in only through /proc; "fat" for a file system without
// unnamed files (O_TMPFILE), where every file a run writes has a hidden name
// until it is whole. Neither has copy_file_range: every copy goes through a
// buffer.
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace {

// Makes copy_file_range fail with ENOSYS, and the call `call` with all of
// `bits` in its argument `arg` fail with `error`, for this process from here
// on. False when the system takes no such filter.
bool refuse(std::uint32_t call, std::size_t arg, std::uint32_t bits, std::uint32_t error) {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_copy_file_range, 4, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, call, 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
                 static_cast<std::uint32_t>(offsetof(seccomp_data, args) + arg * 8)),
        BPF_STMT(BPF_ALU | BPF_AND | BPF_K, bits),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, bits, 2, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | error),
    };
    sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

bool actAsAnOlderSystem() {
    const char* system = std::getenv("ZRK_OLD_SYSTEM");
    if (system != nullptr && std::string_view(system) == "fat") {
        return refuse(SYS_openat, 2, O_TMPFILE & ~O_DIRECTORY, EOPNOTSUPP);
    }
    return refuse(SYS_linkat, 4, AT_EMPTY_PATH, ENOENT);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!actAsAnOlderSystem()) {
        return 1;
    }
    return RUN_ALL_TESTS();
}
