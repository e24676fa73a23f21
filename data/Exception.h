#pragma once

#include <stdexcept>
#include <string>

// The general error of this system: a fixed UTF-8 message for the user.
// Raised inside the channel layer, the archive file and the export; each
// layer catches it at its boundary.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// An operating-system failure; `win_error` of the serial layer derives from it.
class EOSError : public Exception {
public:
    using Exception::Exception;
};
