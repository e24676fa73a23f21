#pragma once

#include <stdexcept>
#include <string>
#include <utility>

// The general error of this system: a fixed UTF-8 message for the user.
// Raised inside the channel layer, the archive file and the export; each
// layer catches it at its boundary.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message, std::string detail = {})
        : std::runtime_error(message), detail(std::move(detail)) {}

    // What the operating system said beside the fixed message (a device
    // path and its error text); may be empty. For logs, never for the
    // message a user acts on.
    const std::string& Detail() const { return detail; }

private:
    std::string detail;
};

// An operating-system failure; `win_error` of the serial layer derives from it.
class EOSError : public Exception {
public:
    using Exception::Exception;
};
