// What stands behind each port name, read from a tree laid out as sysfs and
// /dev are: USB adapters with and without a serial number, UARTs with and
// without hardware, the user's aliases leading to present and missing devices.
#include "FakeSysfs.h"
#include "PortInfo.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

using comprt::PortInfo;

const std::string kFtdiById = "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0";
const std::string kFtdi = "FTDI FT232R USB UART (A10K1234)";

class PortInfoTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        sys = std::make_unique<FakeSysfs>(dir.path().toStdString() + "/root");
        system.root = sys->Root();
        system.portFolder = dir.path().toStdString() + "/ports";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(system.portFolder)));

        sys->AddUart("ttyS0", 4, "0x3F8");
        sys->AddUart("ttyS1", 0, "0x2F8");  // the kernel's node, no UART behind it
        // A product that names its maker; a serial number; the udev link.
        sys->AddUsbAdapter("1-2", "ttyUSB0", "0403:6001", "FTDI", "FT232R USB UART", "A10K1234",
                           kFtdiById);
        // No serial number; a control character from the adapter's strings.
        sys->AddUsbAdapter("1-3", "ttyUSB1", "067b:2303", "Prolific Technology Inc.",
                           "USB-Serial\x1b Controller", "");
        // A CDC device on the interface itself, with no strings at all.
        sys->AddUsbAdapter("1-4", "ttyACM0", "2341:0043", "", "", "");
        Alias("Meter", "/dev/serial/by-id/" + kFtdiById);
        Alias("Old", "/dev/ttyUSB7");
    }

    void Alias(const std::string& name, const std::string& target) {
        ASSERT_EQ(::symlink(target.c_str(), (system.portFolder + "/" + name).c_str()), 0);
    }

    QTemporaryDir dir;
    std::unique_ptr<FakeSysfs> sys;
    comprt::PortSystem system;
};

TEST_F(PortInfoTest, ListsAliasesThenPortsWithHardwareDescribed) {
    const std::string stable = "/dev/serial/by-id/" + kFtdiById;
    const std::vector<PortInfo> expected = {
        {"Meter", "/dev/ttyUSB0", kFtdi, stable, true},
        {"Old", "/dev/ttyUSB7", comprt::kTextNoDevice, "", false},
        {"COM1", "/dev/ttyS0", "UART 16550A, порт 0x3F8", "", true},
        {"COM33", "/dev/ttyUSB0", kFtdi, stable, true},
        {"COM34", "/dev/ttyUSB1", "Prolific Technology Inc. USB-Serial  Controller", "", true},
        {"COM65", "/dev/ttyACM0", "USB 2341:0043", "", true},
    };
    const std::vector<PortInfo> ports = comprt::ListPorts(system);
    ASSERT_EQ(ports.size(), expected.size());
    for (size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i], expected[i])
            << i << ": " << ports[i].name << " | " << ports[i].device << " | "
            << ports[i].description << " | " << ports[i].stablePath;
    }

    // Pulled out: the COM name goes, the alias stays and says so.
    sys->Remove("/dev/ttyUSB0");
    sys->Remove("/dev/serial/by-id/" + kFtdiById);
    const std::vector<PortInfo> after = comprt::ListPorts(system);
    ASSERT_EQ(after.size(), expected.size() - 1);
    EXPECT_EQ(after[0].name, "Meter");
    EXPECT_FALSE(after[0].present);
    EXPECT_EQ(after[0].description, comprt::kTextNoDevice);
    EXPECT_EQ(after[3].name, "COM34");
}

TEST_F(PortInfoTest, DescribesAnyNameTyped) {
    const struct {
        std::string name;
        std::string device;
        std::string description;
        bool present;
    } cases[] = {
        {"com33", "/dev/ttyUSB0", kFtdi, true},
        {"/dev/serial/by-id/" + kFtdiById, "/dev/ttyUSB0", kFtdi, true},
        {"meter", "/dev/ttyUSB0", kFtdi, true},
        {"COM2", "/dev/ttyS1", comprt::kTextNoUart, true},
        {"COM40", "/dev/ttyUSB7", comprt::kTextNoDevice, false},
        {"LPT1", "", "", false},
    };
    for (const auto& c : cases) {
        const PortInfo info = comprt::DescribePort(c.name, system);
        EXPECT_EQ(info.name, c.name);
        EXPECT_EQ(info.device, c.device) << c.name;
        EXPECT_EQ(info.description, c.description) << c.name;
        EXPECT_EQ(info.present, c.present) << c.name;
    }
}

}  // namespace
