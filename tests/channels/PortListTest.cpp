// Port names: how a name reaches a device, the system's list of names, and
// the filtered list offered to the user.
#include "ComList.h"
#include "PortNames.h"
#include "PtyDevice.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>

using comprt::ComPort;

namespace {

ZQ_PRINT_CASES_BY_NAME

std::vector<std::string> NamesOf(const ComPort::ComList& list) {
    std::vector<std::string> names;
    for (const char* name : list.Names()) {
        if (name == nullptr) {
            break;
        }
        names.emplace_back(name);
    }
    return names;
}

// The user's port folder inside the test's private XDG_CONFIG_HOME, emptied.
std::string FreshPortFolder() {
    const std::string folder = comprt::PortFolder();
    QDir(QString::fromStdString(folder)).removeRecursively();
    QDir().mkpath(QString::fromStdString(folder));
    return folder;
}

void Link(const std::string& folder, const std::string& name, const std::string& target) {
    ASSERT_EQ(::symlink(target.c_str(), (folder + "/" + name).c_str()), 0) << name;
}

// --- The filter of the user's list ------------------------------------------------

struct FilterCase {
    const char* name;
    std::vector<std::string> given;
    std::vector<std::string> kept;
};

class ComListFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(ComListFilter, KeepsComNamesInTheOrderGiven) {
    const ComPort::ComList list(GetParam().given);
    EXPECT_EQ(NamesOf(list), GetParam().kept);
    EXPECT_EQ(list.Names().back(), nullptr);
    EXPECT_EQ(list.Names().size(), GetParam().kept.size() + 1);
    std::string text;
    for (const std::string& name : GetParam().kept) {
        text += name + "\n";
    }
    EXPECT_EQ(std::string(list.Text()), text);
}

INSTANTIATE_TEST_SUITE_P(
    ComList, ComListFilter,
    testing::Values(
        FilterCase{"MixedNames",
                   {"COM1", "COM12", "com3", "COMX", "LPT1", "Serial0"},
                   {"COM1", "COM12", "com3"}},
        FilterCase{"OrderAndCaseKept", {"cOm9", "COM2", "Com10"}, {"cOm9", "COM2", "Com10"}},
        FilterCase{"BareComAndTwelveCharacters",
                   {"COM", "COM000000001", "COM0000000001", "COM3A", "CNCA0", "XCOM1", ""},
                   {"COM", "COM000000001"}},
        FilterCase{"NoneKeptGivesTwenty",
                   {"LPT1", "ttyUSB0"},
                   {"COM1",  "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",
                    "COM8",  "COM9",  "COM10", "COM11", "COM12", "COM13", "COM14",
                    "COM15", "COM16", "COM17", "COM18", "COM19", "COM20"}},
        FilterCase{"EmptyListGivesTwenty", {}, {"COM1",  "COM2",  "COM3",  "COM4",  "COM5",
                                                "COM6",  "COM7",  "COM8",  "COM9",  "COM10",
                                                "COM11", "COM12", "COM13", "COM14", "COM15",
                                                "COM16", "COM17", "COM18", "COM19", "COM20"}}),
    [](const testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

TEST(ComList, KeepsAtMost256Names) {
    std::vector<std::string> given;
    for (int i = 1; i <= 300; ++i) {
        given.push_back("LPT" + std::to_string(i));  // dropped names do not count
        given.push_back("COM" + std::to_string(i));
    }
    const ComPort::ComList list(given);
    const std::vector<std::string> names = NamesOf(list);
    ASSERT_EQ(names.size(), 256u);
    EXPECT_EQ(names.front(), "COM1");
    EXPECT_EQ(names.back(), "COM256");
}

// --- How a name reaches a device ---------------------------------------------------

TEST(PortPath, ConventionalNamesAndPaths) {
    FreshPortFolder();
    const struct {
        std::string name;
        std::string path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"com32", "/dev/ttyS31"},
        {"COM33", "/dev/ttyUSB0"},
        {"COM64", "/dev/ttyUSB31"},
        {"Com65", "/dev/ttyACM0"},
        {"COM96", "/dev/ttyACM31"},
        {"COM97", ""},
        {"COM0", ""},
        {"COM", ""},
        {"COM1X", ""},
        {"LPT1", ""},
        {"", ""},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
        {"/" + std::string(255, 'a'), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(comprt::PortPath(c.name), c.path) << c.name;
    }
}

TEST(PortPath, PortFolderLinksComeFirstIgnoringCase) {
    const std::string folder = FreshPortFolder();
    PtyDevice device;
    Link(folder, "COM1", device.SlavePath());  // hides the conventional /dev/ttyS0
    Link(folder, "Meter", device.SlavePath());
    EXPECT_EQ(comprt::PortPath("COM1"), folder + "/COM1");
    EXPECT_EQ(comprt::PortPath("com1"), folder + "/COM1");
    EXPECT_EQ(comprt::PortPath("METER"), folder + "/Meter");

    // A port opened by its link name is the device behind it.
    ComPort port;
    port.Open("meter");
    const uint8_t byte = 0x5A;
    port.Write(&byte, 1);
    EXPECT_EQ(device.Receive(1), Bytes{0x5A});
}

// --- The system's list --------------------------------------------------------------

TEST(PlatformPortNames, FolderInNaturalOrderThenExistingDevicesWithoutRepeats) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const std::string base = root.path().toStdString();
    const std::string folder = base + "/ports";
    const std::string dev = base + "/dev";
    const std::string sys = base + "/sys";
    for (const std::string& dir : {folder, dev, sys + "/ttyS0", sys + "/ttyS1", sys + "/ttyS4"}) {
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir)));
    }
    for (const char* name : {"COM10", "COM2", "com3", "LPT1", "Serial0", "COM33"}) {
        Link(folder, name, "/dev/null");
    }
    std::ofstream(folder + "/COM4");  // not a link: not a port
    std::ofstream(folder + "/.COM5");
    for (const char* node : {"ttyS0", "ttyS1", "ttyS4", "ttyUSB0", "ttyUSB2", "ttyACM1"}) {
        std::ofstream(dev + "/" + node);
    }
    std::ofstream(sys + "/ttyS0/type") << "4\n";  // a 16550A behind ttyS0
    std::ofstream(sys + "/ttyS1/type") << "0\n";  // no UART behind ttyS1
    std::ofstream(sys + "/ttyS4/type") << "4\n";

    const std::vector<std::string> names = comprt::PlatformPortNames(folder, dev, sys);
    const std::vector<std::string> expected = {"COM2",    "com3", "COM10", "COM33", "LPT1",
                                               "Serial0", "COM1", "COM5",  "COM35", "COM66"};
    EXPECT_EQ(names, expected);

    const ComPort::ComList list(names);
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"COM2", "com3", "COM10", "COM33", "COM1",
                                                       "COM5", "COM35", "COM66"}));
}

TEST(PlatformPortNames, NaturalOrder) {
    std::vector<std::string> names = {"COM10", "com2", "COM1", "COM02", "Alpha", "COM2", "alpha"};
    std::sort(names.begin(), names.end(), comprt::NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "alpha", "COM1", "COM02", "COM2", "com2",
                                               "COM10"}));
}

TEST(ComList, DefaultListStartsWithThePortFolder) {
    const std::string folder = FreshPortFolder();
    Link(folder, "com12", "/dev/null");
    Link(folder, "COM9", "/dev/null");
    Link(folder, "Modem", "/dev/null");
    const std::vector<std::string> names = NamesOf(ComPort::ComList());
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], "COM9");
    EXPECT_EQ(names[1], "com12");
    EXPECT_EQ(std::count(names.begin(), names.end(), "Modem"), 0);
}

}  // namespace
