#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What the simulated device wrote down about a run: its log of the frames on
// the line (zqsim --log-file) and its dump of the rings (zqsim --dump).

// One request the device cut from the line, and the answer it sent back
// (empty when it sent none).
struct Exchange {
    std::vector<uint8_t> request;
    std::vector<uint8_t> answer;
};

// Reads the log text: lines "hh:mm:ss.mmm <- 01 11 C0 2C" for a request,
// "... -> ..." for the answer to the request before it; every other line is
// a note and is skipped. False, with `error` naming the line, when an arrow
// line does not hold hex bytes or an answer has no request before it.
bool ParseSimLog(const std::string& text, std::vector<Exchange>& exchanges, std::string& error);

using RecordBytes = std::array<uint8_t, 16>;

// One device's section of the ring dump: per ring kind ("hour", "day",
// "month", "journal") the records in the order a reader gets them, newest
// first.
struct SimDumpDevice {
    int address = 0;  // 0 when the dump does not name its device
    uint32_t serial = 0;
    std::map<std::string, std::vector<RecordBytes>> rings;
};

// Reads the ring dump: a line "device ADDRESS serial SERIAL" begins each
// device's section (records before any such line belong to one device
// without a name). The file is rewritten whole after every write, so it
// holds one dump. False, with `error`, on a record line that is not 32 hex
// digits or a device line without its address and serial number.
bool ParseSimDumpDevices(const std::string& text, std::vector<SimDumpDevice>& devices,
                         std::string& error);

// The rings of the dump of a line with one device. False, with `error`, as
// above, or when the dump holds several devices.
bool ParseSimDump(const std::string& text, std::map<std::string, std::vector<RecordBytes>>& rings,
                  std::string& error);

// The whole of a file, or false.
bool ReadWholeFile(const std::string& path, std::string& text);
