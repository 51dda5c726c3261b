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

// A failed operating-system call, with errno and its text; a call about one file names it in
// front of the text, so that every caller's message says which file failed.
class EOSError : public EZarvexError {
public:
    EOSError(int code, const std::string& message, const std::string& path = {})
        : EZarvexError(path.empty() ? message : path + ": " + message), Code(code), Path(path),
          Text(message) {}
    int Code;
    std::string Path; // empty when the call was about no one file
    std::string Text; // the message without the path
};

// A collection asked for an item it does not have.
class EListError : public EZarvexError {
public:
    using EZarvexError::EZarvexError;
};

// Builds an EOSError for the given errno: "System Error.  Code: %d.\n%s", after "path: " when
// a path is given.
EOSError MakeOSError(int code, const std::string& path = {});

// Throws MakeOSError(errno, path).
[[noreturn]] void RaiseLastOSError(const std::string& path = {});

// The message of a failure about path, naming path once: in front, unless it names it already.
std::string MessageNaming(const std::string& path, const std::exception& e);

} // namespace zarvex
