#include "ZQSearchTask.h"

#include "Crc16.h"
#include "ModbusAnswer.h"
#include "ModbusFrames.h"
#include "TextFormat.h"

#include <algorithm>
#include <cstring>

namespace {

// The serial number: input registers 30033-30034, one 32-bit value, high
// register first.
constexpr uint16_t kSerialReg = 30033;
constexpr uint16_t kSerialRegs = 2;

}  // namespace

ZQSearchTask::ZQSearchTask(bool running, int first, int last)
    : ZQTask(running),
      firstAddress(std::clamp(std::min(first, last), kMinAddress, kMaxAddress)),
      lastAddress(std::clamp(std::max(first, last), kMinAddress, kMaxAddress)) {
    answerPace = AnswerPace::Quick;
}

ZQSearchTask::~ZQSearchTask() = default;

int ZQSearchTask::AddressOfStep(int s) const {
    return s >= 2 && s <= lastAddress - firstAddress + 2 ? firstAddress + s - 2 : 0;
}

int ZQSearchTask::ExecuteStep(int s) {
    if (s == 1) {
        return StepCreateChanel();
    }
    const int address = AddressOfStep(s);
    if (address != 0) {
        statusText = FormatText("Поиск прибора: адрес %d", address);
        if (!finds.empty()) {
            statusText += FormatText(", найдено: %zu", finds.size());
        }
        int length = kRequestFrameSize;
        if (askingSerial) {
            BuildReadRegisters(requestFrame, length, static_cast<uint8_t>(address), kSerialReg,
                               kSerialRegs);
        } else {
            BuildReportSlaveId(requestFrame, length, static_cast<uint8_t>(address));
        }
        return SendRequest(length);
    }
    if (s == GetStepCount()) {
        CloseChanel();
        statusText = finds.empty()
                         ? std::string("Поиск завершён, прибор не найден")
                         : FormatText("Поиск завершён, найдено приборов: %zu", finds.size());
        return srWaitEvent;
    }
    return srNext;
}

void ZQSearchTask::OnRecvPacket(const uint8_t* data, int length, int packetId) {
    const int address = AddressOfStep(step);
    if (packetId != step || address == 0 || !waiting) {
        return;
    }
    // Not well-formed, or not the answer to the request sent (another
    // address, another function): nobody is known to be at this address.
    if (data == nullptr || length < 4 || !CheckFrameCrc(data, static_cast<size_t>(length)) ||
        !AnswerFits(requestFrame, static_cast<size_t>(requestLength), data,
                    static_cast<size_t>(length))) {
        NoteVerdict(askingSerial ? "заводской номер не получен" : "не ответ на запрос");
        MoveOn();
        return;
    }
    if (askingSerial) {
        AcceptSerialAnswer(data, length);
    } else {
        AcceptIdentAnswer(address, data, length);
    }
}

void ZQSearchTask::AcceptIdentAnswer(int address, const uint8_t* data, int length) {
    DeviceFind find;
    find.address = address;
    if (data[1] & 0x80) {
        find.exceptionCode = data[2];
        NoteVerdict("прибор Modbus найден, исключение: " + ModbusErrorText(data[2]));
    } else if (length >= 13 && data[2] >= 8 && std::memcmp(data + 3, "RORI", 4) == 0) {
        find.zq = true;
        std::memcpy(find.ident, data + 7, sizeof find.ident);
        NoteVerdict("прибор ZQ найден");
    } else {
        NoteVerdict("прибор Modbus найден");
    }
    finds.push_back(find);
    changed = true;
    if (find.zq) {
        askingSerial = true;
        SetStep(step, true);
    } else {
        MoveOn();
    }
}

void ZQSearchTask::AcceptSerialAnswer(const uint8_t* data, int length) {
    if ((data[1] & 0x80) == 0 && data[2] == 2 * kSerialRegs && length == 9) {
        DeviceFind& find = finds.back();
        find.serial = (static_cast<uint32_t>(data[3]) << 24) |
                      (static_cast<uint32_t>(data[4]) << 16) |
                      (static_cast<uint32_t>(data[5]) << 8) | data[6];
        find.serialKnown = true;
        changed = true;
        NoteVerdict(FormatText("заводской номер %09u", find.serial));
    } else {
        NoteVerdict("заводской номер не получен");
    }
    MoveOn();
}

void ZQSearchTask::RetryOrError(const std::string& text) {
    if (AddressOfStep(step) == 0) {
        ZQTask::RetryOrError(text);
        return;
    }
    NoteVerdict(askingSerial ? "заводской номер не получен" : "нет ответа");
    MoveOn();
}

void ZQSearchTask::MoveOn() {
    askingSerial = false;
    NextStep();
}
