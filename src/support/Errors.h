// The exception family of the program: every failure carries its user-facing message.
#pragma once

#include <stdexcept>
#include <string>

namespace zarvex {

// Base of every failure the program raises itself; also the "general failure".
class EZarvexError : public std::runtime_error {
public:
    explicit EZarvexError(const std::string& message) : std::runtime_error(message) {}
};

// A failed operating-system call, with errno and its text.
class EOSError : public EZarvexError {
public:
    EOSError(int code, const std::string& message) : EZarvexError(message), Code(code) {}
    int Code;
};

// A collection asked for an item it does not have.
class EListError : public EZarvexError {
public:
    using EZarvexError::EZarvexError;
};

// Builds an EOSError for the given errno: "System Error.  Code: %d.\n%s".
EOSError MakeOSError(int code);

// Throws MakeOSError(errno).
[[noreturn]] void RaiseLastOSError();

} // namespace zarvex
