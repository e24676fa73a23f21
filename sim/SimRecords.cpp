#include "SimRecords.h"

#include "SimLog.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// "AB" -> 0xAB; false for anything but two hex digits.
bool HexByte(const std::string& text, uint8_t& value) {
    if (text.size() != 2) {
        return false;
    }
    const int high = zqsim::HexDigit(text[0]);
    const int low = zqsim::HexDigit(text[1]);
    if (high < 0 || low < 0) {
        return false;
    }
    value = static_cast<uint8_t>(high * 16 + low);
    return true;
}

std::string LineRef(int number) {
    return "line " + std::to_string(number);
}

}  // namespace

bool ParseSimLog(const std::string& text, std::vector<Exchange>& exchanges, std::string& error) {
    exchanges.clear();
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        std::istringstream words(line);
        std::string stamp;
        std::string marker;
        words >> stamp >> marker;
        const bool request = marker == "<-";
        if (!request && marker != "->") {
            continue;  // a note: the line opened, a fault, a hang-up ...
        }
        std::vector<uint8_t> bytes;
        std::string word;
        while (words >> word) {
            uint8_t value = 0;
            if (!HexByte(word, value)) {
                error = LineRef(number) + ": '" + word + "' is not a hex byte";
                return false;
            }
            bytes.push_back(value);
        }
        if (request) {
            exchanges.push_back({std::move(bytes), {}});
            continue;
        }
        if (exchanges.empty() || !exchanges.back().answer.empty()) {
            error = LineRef(number) + ": an answer without a request before it";
            return false;
        }
        exchanges.back().answer = std::move(bytes);
    }
    return true;
}

bool ParseSimDumpDevices(const std::string& text, std::vector<SimDumpDevice>& devices,
                         std::string& error) {
    devices.clear();
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        std::istringstream words(line);
        std::string kind;
        std::string second;
        std::string hex;
        words >> kind >> second;
        if (kind.empty()) {
            continue;
        }
        if (kind == "device") {
            SimDumpDevice device;
            std::string serialWord;
            unsigned long serial = 0;
            words >> serialWord >> serial;
            device.address = std::atoi(second.c_str());
            device.serial = static_cast<uint32_t>(serial);
            if (device.address <= 0 || serialWord != "serial" || words.fail()) {
                error = LineRef(number) + ": expected 'device ADDRESS serial SERIAL'";
                return false;
            }
            devices.push_back(std::move(device));
            continue;
        }
        if (devices.empty()) {
            devices.emplace_back();  // a dump that names no device
        }
        auto& rings = devices.back().rings;
        if (kind == "ring") {
            rings[second];  // a ring may hold no record
            continue;
        }
        words >> hex;
        RecordBytes record{};
        bool valid = hex.size() == 2 * record.size();
        for (size_t i = 0; valid && i < record.size(); ++i) {
            valid = HexByte(hex.substr(2 * i, 2), record[i]);
        }
        if (!valid) {
            error = LineRef(number) + ": not a record of 32 hex digits";
            return false;
        }
        rings[kind].push_back(record);
    }
    return true;
}

bool ParseSimDump(const std::string& text, std::map<std::string, std::vector<RecordBytes>>& rings,
                  std::string& error) {
    rings.clear();
    std::vector<SimDumpDevice> devices;
    if (!ParseSimDumpDevices(text, devices, error)) {
        return false;
    }
    if (devices.size() > 1) {
        error = "the dump holds " + std::to_string(devices.size()) + " devices";
        return false;
    }
    if (!devices.empty()) {
        rings = std::move(devices.front().rings);
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return !file.bad();
}
