#pragma once

#include <stdexcept>
#include <string>

namespace zrk {

// Every error that ends a run. The message says what went wrong and where,
// in words a user can act on; the program's start shows it and exits.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A 32-bit field that does not fit the format's range of 0 to 2,147,483,647.
class OverflowError : public ToolError {
public:
    using ToolError::ToolError;
};

}  // namespace zrk
