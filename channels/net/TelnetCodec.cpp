#include "TelnetCodec.h"

#include <utility>

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
constexpr uint8_t kDataBits = 8;
// The server's reports come back with the command's number + 100.
constexpr uint8_t kReportOffset = 100;

// Names of the parity and stop-bit values, 1 on.
constexpr const char* kParityNames[] = {"нет", "нечёт", "чёт", "маркер", "пробел"};
constexpr const char* kStopNames[] = {"1", "2", "1,5"};

// The value of a COM port setting as the log shows it: `names` by value
// from 1 on; a value outside them as its number.
template <size_t N>
std::string ValueName(uint8_t value, const char* const (&names)[N]) {
    if (value >= 1 && value <= N) {
        return names[value - 1];
    }
    return "код " + std::to_string(value);
}

std::string Quoted(const std::string& name) {
    return "«" + name + "»";
}

// The SET-CONTROL values that report a setting: the setting each belongs
// to, the value asked for in it, and the value's name.
struct ControlValue {
    uint8_t value;
    const char* setting;
    uint8_t asked;
    const char* name;
};

constexpr const char* kOutbound = "управление потоком";
constexpr const char* kInbound = "управление входящим потоком";
constexpr ControlValue kControlValues[] = {
    {1, kOutbound, kNoFlowControl, "нет"},
    {2, kOutbound, kNoFlowControl, "XON/XOFF"},
    {3, kOutbound, kNoFlowControl, "RTS/CTS"},
    {17, kOutbound, kNoFlowControl, "DCD"},
    {19, kOutbound, kNoFlowControl, "DSR"},
    {14, kInbound, kNoInboundFlowControl, "нет"},
    {15, kInbound, kNoInboundFlowControl, "XON/XOFF"},
    {16, kInbound, kNoInboundFlowControl, "RTS/CTS"},
    {18, kInbound, kNoInboundFlowControl, "DTR"},
    {8, "DTR", kDtrOn, "вкл"},
    {9, "DTR", kDtrOn, "выкл"},
    {11, "RTS", kRtsOff, "вкл"},
    {12, "RTS", kRtsOff, "выкл"},
};

// Null for the queries (0, 4, 7, 10, 13), the break state and the unknown.
const ControlValue* FindControl(uint8_t value) {
    for (const ControlValue& c : kControlValues) {
        if (c.value == value) {
            return &c;
        }
    }
    return nullptr;
}

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
    FAskedBaudRate = baudRate;
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
    SubCommand(out, kSetDataSize, {kDataBits});
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
                FBinaryFromServer = Agreement::Agreed;
            }
            if (option == kComPort) {
                FComPortConfirmed = true;
            }
            Send(Supported(option) ? DO : DONT, option, replies);
            break;
        case DO:
            if (option == kBinary) {
                FBinaryToServer = Agreement::Agreed;
            }
            if (option == kComPort) {
                FComPortConfirmed = true;
            }
            Send(Supported(option) ? WILL : WONT, option, replies);
            break;
        case WONT:
            if (option == kBinary) {
                FBinaryFromServer = Agreement::Refused;
            }
            break;
        default:  // DONT
            if (option == kBinary) {
                FBinaryToServer = Agreement::Refused;
            }
            break;
    }
}

bool TelnetCodec::InSubnegotiation() const {
    return FState == State::Sub || FState == State::SubIac;
}

std::vector<std::string> TelnetCodec::TakeNotes() {
    return std::exchange(FNotes, {});
}

void TelnetCodec::Decode(const uint8_t* received, size_t size, std::vector<uint8_t>& data,
                         std::vector<uint8_t>& replies) {
    for (size_t i = 0; i < size && FState != State::Lost; ++i) {
        const uint8_t byte = received[i];
        switch (FState) {
            case State::Data:
                if (byte == IAC) {
                    FState = State::Iac;
                } else {
                    data.push_back(byte);
                }
                break;
            case State::Iac:
                if (byte == IAC) {
                    data.push_back(IAC);
                    FState = State::Data;
                } else if (byte == WILL || byte == WONT || byte == DO || byte == DONT) {
                    FCommand = byte;
                    FState = State::Option;
                } else if (byte == SB) {
                    FSub.clear();
                    FSubLength = 0;
                    FSubMalformed = false;
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
                } else {
                    SubByte(byte);
                }
                break;
            case State::SubIac:
                if (byte == SE) {
                    EndSub();
                    FState = State::Data;
                    break;
                }
                FState = State::Sub;
                if (byte == IAC) {
                    SubByte(IAC);
                } else {
                    // Only IAC SE ends it: any other command here is a fault
                    // of the server, and the subnegotiation is not read.
                    FSubMalformed = true;
                    SubByte(IAC);
                    SubByte(byte);
                }
                break;
            case State::Lost:
                break;
        }
    }
}

void TelnetCodec::SubByte(uint8_t byte) {
    if (++FSubLength <= kMaxSubLength) {
        FSub.push_back(byte);
    } else if (FSubLength > kMaxOpenSubLength) {
        FState = State::Lost;
    }
}

void TelnetCodec::EndSub() {
    if (FSubLength > kMaxSubLength) {
        FNotes.push_back("Отброшено телнет-субсогласование в " + std::to_string(FSubLength) +
                         " байт (длиннее " + std::to_string(kMaxSubLength) + ")");
        return;
    }
    if (FSubMalformed || FSub.empty() || FSub[0] != kComPort) {
        return;
    }
    FComPortConfirmed = true;
    if (FSub.size() >= 2) {
        ComPortReport(FSub[1], FSub.data() + 2, FSub.size() - 2);
    }
}

void TelnetCodec::Differs(const std::string& setting, const std::string& got,
                          const std::string& asked) {
    FComPortDiffers = true;
    FNotes.push_back("RFC 2217: сервер установил " + setting + " " + got + " вместо " + asked);
}

// The server reports each setting it made: the value it holds now, which
// may differ from the one asked for. A report shorter than its value is
// not read.
void TelnetCodec::ComPortReport(uint8_t command, const uint8_t* value, size_t size) {
    if (size == 0) {
        return;
    }
    switch (command) {
        case kReportOffset + kSetBaudRate: {
            if (size < 4) {
                return;
            }
            // Big-endian, as the request.
            const uint32_t rate = uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 |
                                  uint32_t{value[2]} << 8 | value[3];
            if (rate != FAskedBaudRate) {
                Differs("скорость", std::to_string(rate) + " бит/с",
                        std::to_string(FAskedBaudRate) + " бит/с");
            }
            break;
        }
        case kReportOffset + kSetDataSize:
            if (value[0] != kDataBits) {
                Differs("число бит данных", std::to_string(value[0]), std::to_string(kDataBits));
            }
            break;
        case kReportOffset + kSetParity:
            if (value[0] != kParityNone) {
                Differs("чётность", Quoted(ValueName(value[0], kParityNames)),
                        Quoted(ValueName(kParityNone, kParityNames)));
            }
            break;
        case kReportOffset + kSetStopSize:
            if (value[0] != kOneStopBit) {
                Differs("число стоп-бит", ValueName(value[0], kStopNames),
                        ValueName(kOneStopBit, kStopNames));
            }
            break;
        case kReportOffset + kSetControl:
            if (const ControlValue* got = FindControl(value[0]);
                got != nullptr && got->value != got->asked) {
                Differs(got->setting, Quoted(got->name), Quoted(FindControl(got->asked)->name));
            }
            break;
        default:  // notifications: line and modem state, flow suspended
            break;
    }
}
