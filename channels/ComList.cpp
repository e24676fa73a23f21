#include "ComList.h"

#include "PortNames.h"

#include <cctype>
#include <cstring>

namespace comprt {

namespace {

constexpr int kFallbackCount = 20;

}  // namespace

ComPort::ComList::ComList() : ComList(PlatformPortNames()) {}

ComPort::ComList::ComList(const std::vector<std::string>& deviceNames) {
    std::vector<std::string> accepted;
    for (const std::string& name : deviceNames) {
        if (accepted.size() == kMaxNames) {
            break;
        }
        if (Accepts(name)) {
            accepted.push_back(name);
        }
    }
    if (accepted.empty()) {
        for (int n = 1; n <= kFallbackCount; ++n) {
            accepted.push_back("COM" + std::to_string(n));
        }
    }
    size_t blockSize = 0;
    for (const std::string& name : accepted) {
        blockSize += name.size() + 1;
    }
    FBlock.Reset(blockSize);
    FText.Reset(blockSize + 1);
    char* block = FBlock.Data();
    char* text = FText.Data();
    for (const std::string& name : accepted) {
        std::memcpy(block, name.data(), name.size());
        FNames.push_back(block);
        block += name.size() + 1;  // the NUL is there already
        std::memcpy(text, name.data(), name.size());
        text[name.size()] = '\n';
        text += name.size() + 1;
    }
    FNames.push_back(nullptr);
}

bool ComPort::ComList::Accepts(const std::string& name) {
    if (name.size() < 3 || name.size() > kMaxNameLength) {
        return false;
    }
    static const char kCom[] = "com";
    for (size_t i = 0; i < 3; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != kCom[i]) {
            return false;
        }
    }
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace comprt
