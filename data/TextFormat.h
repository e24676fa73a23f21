#pragma once

#include <string>

// printf into a std::string of whatever length the text needs ("%012.3f" of
// a huge float is 40 characters and more). An encoding error gives "".
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
