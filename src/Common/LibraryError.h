// The base of the library's own exceptions: a message, and nothing of the
// standard exception classes that take a string. Those keep their message in
// a reference-counted string kept only for them, whose runtime code (some
// 40 KiB) would otherwise be linked into the library for a handful of
// messages.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace vok {

class ELibraryError : public std::exception {
public:
    explicit ELibraryError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

} // namespace vok
