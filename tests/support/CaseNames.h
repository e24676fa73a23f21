#pragma once

#include <ostream>
#include <string_view>

// Used once inside a test file's namespace: the cases of its parameterised
// tests that carry a `name` print as that name in the test's messages
// ("where GetParam() = WrongKind"), not as the bytes of the case.
#define ZQ_PRINT_CASES_BY_NAME                      \
    template <class Case>                           \
    requires requires(const Case& c) {              \
        std::string_view(c.name);                   \
    }                                               \
    void PrintTo(const Case& c, std::ostream* os) { \
        *os << c.name;                              \
    }
