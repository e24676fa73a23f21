#pragma once

#include "Exception.h"

// A failed system call of the serial layer. `Code` is the errno value; the
// message is "System Error.  Code: <code>.\r\n<system text for the code>".
class win_error : public EOSError {
public:
    explicit win_error(int code);

    const int Code;
};
