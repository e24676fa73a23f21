#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The modem's response lines, cut from the bytes read from its port during
// the modem dialogue (GUI thread). A line ends at CR or at LF; the empty
// line between the two of a CR LF is passed on too (the dialogue ignores
// empty lines). An unfinished line is held up to kMaxLine bytes: when a
// modem sends more without a line end, the held bytes are dropped and so is
// the rest of that line up to its end, so the memory held stays bounded
// whatever the port delivers.
class AtLineBuffer {
public:
    static constexpr size_t kMaxLine = 1024;

    // Takes `size` bytes; returns the lines they finished, in order, without
    // their line ends.
    std::vector<std::string> Feed(const char* data, size_t size);

    // Bytes of the unfinished line held now; never more than kMaxLine.
    size_t Pending() const { return pending.size(); }

private:
    std::string pending;
    bool dropping = false;  // inside an over-long line: skip to its end
};
