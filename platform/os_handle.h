#pragma once

#include <cstdint>
#include <utility>

namespace zrk {

// A handle of the operating system, a POSIX descriptor or a Windows HANDLE,
// that closes when it goes. Files and folders hold one each.
class OsHandle {
public:
    // -1 is no handle on both systems (INVALID_HANDLE_VALUE on Windows).
    static constexpr std::intptr_t kNone = -1;

    OsHandle() = default;
    explicit OsHandle(std::intptr_t value) : value_(value) {}
    OsHandle(OsHandle&& other) noexcept : value_(std::exchange(other.value_, kNone)) {}
    OsHandle& operator=(OsHandle&& other) noexcept {
        std::swap(value_, other.value_);
        return *this;
    }
    OsHandle(const OsHandle&) = delete;
    OsHandle& operator=(const OsHandle&) = delete;
    ~OsHandle() { close(); }

    std::intptr_t get() const { return value_; }
    explicit operator bool() const { return value_ != kNone; }

    // Closes the handle now, if there is one; false when the system reports a
    // failure, with its error left for lastErrorCode.
    bool close();

private:
    std::intptr_t value_ = kNone;
};

}  // namespace zrk
