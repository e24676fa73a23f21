#include "TelnetCodec.h"

namespace {

// COM port option commands, client to server; the server answers with the
// same number + 100.
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kParityNone = 1;
constexpr uint8_t kOneStopBit = 1;
constexpr uint8_t kNoFlowControl = 1;
constexpr uint8_t kNoInboundFlowControl = 14;
constexpr uint8_t kDtrOn = 8;
constexpr uint8_t kRtsOff = 12;
// A subnegotiation longer than this is not one the client needs to read.
constexpr size_t kMaxSubLength = 64;

bool Supported(uint8_t option) {
    return option == TelnetCodec::kBinary || option == TelnetCodec::kSuppressGoAhead ||
           option == TelnetCodec::kComPort;
}

void AppendEscaped(std::vector<uint8_t>& out, uint8_t byte) {
    out.push_back(byte);
    if (byte == TelnetCodec::IAC) {
        out.push_back(byte);
    }
}

void SubCommand(std::vector<uint8_t>& out, uint8_t command, const std::vector<uint8_t>& value) {
    out.insert(out.end(), {TelnetCodec::IAC, TelnetCodec::SB, TelnetCodec::kComPort, command});
    for (const uint8_t byte : value) {
        AppendEscaped(out, byte);
    }
    out.insert(out.end(), {TelnetCodec::IAC, TelnetCodec::SE});
}

}  // namespace

void TelnetCodec::Send(uint8_t command, uint8_t option, std::vector<uint8_t>& out) {
    if (FSent.insert(command << 8 | option).second) {
        out.insert(out.end(), {IAC, command, option});
    }
}

std::vector<uint8_t> TelnetCodec::Greeting(uint32_t baudRate) {
    std::vector<uint8_t> out;
    Send(WILL, kBinary, out);
    Send(DO, kBinary, out);
    Send(WILL, kSuppressGoAhead, out);
    Send(DO, kSuppressGoAhead, out);
    Send(WILL, kComPort, out);
    // The rate goes big-endian, as the option's numbers do.
    SubCommand(out, kSetBaudRate,
               {static_cast<uint8_t>(baudRate >> 24), static_cast<uint8_t>(baudRate >> 16),
                static_cast<uint8_t>(baudRate >> 8), static_cast<uint8_t>(baudRate)});
    SubCommand(out, kSetDataSize, {8});
    SubCommand(out, kSetParity, {kParityNone});
    SubCommand(out, kSetStopSize, {kOneStopBit});
    SubCommand(out, kSetControl, {kNoFlowControl});
    SubCommand(out, kSetControl, {kNoInboundFlowControl});
    SubCommand(out, kSetControl, {kDtrOn});
    SubCommand(out, kSetControl, {kRtsOff});
    return out;
}

std::vector<uint8_t> TelnetCodec::Encode(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size + 8);
    for (size_t i = 0; i < size; ++i) {
        AppendEscaped(out, data[i]);
    }
    return out;
}

void TelnetCodec::Negotiate(uint8_t command, uint8_t option, std::vector<uint8_t>& replies) {
    switch (command) {
        case WILL:
            if (option == kBinary) {
                FPeerBinary = true;
            }
            if (option == kComPort) {
                FComPortConfirmed = true;
            }
            Send(Supported(option) ? DO : DONT, option, replies);
            break;
        case DO:
            if (option == kComPort) {
                FComPortConfirmed = true;
            }
            Send(Supported(option) ? WILL : WONT, option, replies);
            break;
        case WONT:
            if (option == kBinary) {
                FPeerBinary = false;
            }
            break;
        default:  // DONT: nothing to answer
            break;
    }
}

void TelnetCodec::Decode(const uint8_t* received, size_t size, std::vector<uint8_t>& data,
                         std::vector<uint8_t>& replies) {
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = received[i];
        switch (FState) {
            case State::Data:
                if (byte == IAC) {
                    FState = State::Iac;
                } else if (byte == 0 && FAfterCr && !FPeerBinary) {
                    FAfterCr = false;  // a text-mode server's CR NUL stands for CR
                } else {
                    data.push_back(byte);
                    FAfterCr = byte == '\r';
                }
                break;
            case State::Iac:
                FAfterCr = false;
                if (byte == IAC) {
                    data.push_back(IAC);
                    FState = State::Data;
                } else if (byte == WILL || byte == WONT || byte == DO || byte == DONT) {
                    FCommand = byte;
                    FState = State::Option;
                } else if (byte == SB) {
                    FSubLength = 0;
                    FState = State::Sub;
                } else {
                    FState = State::Data;  // NOP, GA, AYT and the like carry nothing
                }
                break;
            case State::Option:
                Negotiate(FCommand, byte, replies);
                FState = State::Data;
                break;
            case State::Sub:
                if (byte == IAC) {
                    FState = State::SubIac;
                } else if (++FSubLength == 1 && byte == kComPort) {
                    FComPortConfirmed = true;
                }
                break;
            case State::SubIac:
                if (byte == SE || FSubLength > kMaxSubLength) {
                    FState = State::Data;
                } else {
                    ++FSubLength;  // IAC IAC inside: one 0xFF of the value
                    FState = State::Sub;
                }
                break;
        }
    }
}
