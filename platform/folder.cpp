#include <utility>

#include "folder.h"

namespace zrk {

Folder::Folder(Folder&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), path_(std::move(other.path_)) {}

Folder::~Folder() {
    if (handle_ != kNoHandle) {
        closeQuietly(handle_);
    }
}

}  // namespace zrk
