#include "AtLineBuffer.h"

std::vector<std::string> AtLineBuffer::Feed(const char* data, size_t size) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            if (!dropping) {
                lines.push_back(pending);
            }
            pending.clear();
            dropping = false;
        } else if (!dropping) {
            if (pending.size() == kMaxLine) {
                pending.clear();
                dropping = true;
            } else {
                pending += c;
            }
        }
    }
    return lines;
}
