#pragma once

#include "AutoBuffer.h"
#include "ComPort.h"
#include "Noncopyable.h"

#include <string>
#include <vector>

// The COM port names offered to the user.
//
// Of the names given (by default the system's list, PortNames.h), those
// spelled c, o, m in any letter case followed by digits only, at most 12
// characters, are kept in the order given, letter case unchanged, at most
// 256 of them. When none is kept the list is COM1 .. COM20.
class comprt::ComPort::ComList : public Noncopyable {
public:
    ComList();
    explicit ComList(const std::vector<std::string>& deviceNames);

    // One pointer per name, then a null pointer. Valid as long as the list.
    const std::vector<const char*>& Names() const { return FNames; }
    // The names, each followed by a line feed, then a NUL.
    const char* Text() const { return FText.Data(); }

    static constexpr size_t kMaxNames = 256;
    static constexpr size_t kMaxNameLength = 12;
    static bool Accepts(const std::string& name);

private:
    std::vector<const char*> FNames;
    AutoBuffer FBlock;  // the names, each ended by a NUL
    AutoBuffer FText;
};
