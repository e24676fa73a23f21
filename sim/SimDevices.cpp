#include "SimDevices.h"

#include <cstdio>

namespace zqsim {

ContentOptions NthDeviceContent(const ContentOptions& first, int index) {
    if (index == 0) {
        return first;
    }
    ContentOptions nth = first;
    nth.seed = first.seed + static_cast<uint64_t>(index);
    nth.serial = static_cast<int64_t>(ContentSerial(first)) + index;
    return nth;
}

std::vector<SimDevice> MakeSimDevices(const SimOptions& options, const CivilTime& start) {
    std::vector<SimDevice> devices;
    devices.reserve(options.addresses.size());
    for (size_t k = 0; k < options.addresses.size(); ++k) {
        DeviceSettings settings = options.deviceSettings;
        settings.address = options.addresses[k];
        const ContentOptions content = NthDeviceContent(options.content, static_cast<int>(k));
        devices.push_back(SimDevice{DeviceModel(settings, GenerateContent(content, start)),
                                    FaultPlan(options.faults, content.seed)});
    }
    return devices;
}

bool WriteSimDump(const std::string& path, const std::vector<SimDevice>& devices) {
    static const char* const kNames[kRingKinds] = {"hour", "day", "month", "journal"};
    const std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "w");
    if (f == nullptr) {
        return false;
    }
    for (const SimDevice& device : devices) {
        std::fprintf(f, "device %u serial %u\n", device.model.Address(),
                     device.model.Current().serial);
        for (int kind = 0; kind < kRingKinds; ++kind) {
            const RingMemory& ring = device.model.Ring(kind);
            std::fprintf(f, "ring %s h=%u o=%u n=%u\n", kNames[kind], ring.Highest(), ring.oldest,
                         ring.next);
            for (uint16_t index : ring.ReadOrder()) {
                char hex[2 * sizeof(Record) + 1];
                const Record& r = ring.slots[index];
                for (size_t i = 0; i < r.size(); ++i) {
                    std::snprintf(hex + 2 * i, 3, "%02X", r[i]);
                }
                std::fprintf(f, "%s %u %s\n", kNames[kind], index, hex);
            }
        }
    }
    return std::fclose(f) == 0 && std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace zqsim
