#include <utility>

#include "folder.h"

namespace zrk {

Folder::Folder(Folder&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), path_(std::move(other.path_)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (handle_ != kNoHandle) {
            closeQuietly(handle_);
        }
        handle_ = std::exchange(other.handle_, kNoHandle);
        path_ = std::move(other.path_);
    }
    return *this;
}

Folder::~Folder() {
    if (handle_ != kNoHandle) {
        closeQuietly(handle_);
    }
}

}  // namespace zrk
