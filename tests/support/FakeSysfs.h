// A tree standing for "/" as the port reader sees it (dev/, dev/serial/by-id/,
// sys/class/tty/, sys/devices/), laid out as the kernel and udev lay it out,
// relative links included. For the port tests and the screenshots.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class FakeSysfs {
public:
    explicit FakeSysfs(std::string root) : root(std::move(root)) {
        MakeDirs("/dev");
        MakeDirs("/sys/class/tty");
        MakeDirs("/sys/devices/pci0000:00/0000:00:14.0/usb1");
    }

    const std::string& Root() const { return root; }

    // A USB adapter in USB port `socket` (1-2, 1-3 ...) whose serial port is
    // `tty` (ttyUSB0, or ttyACM0 on the interface itself); an empty `serial`
    // leaves the attribute out. With `byId`, the udev link of that name.
    void AddUsbAdapter(const std::string& socket, const std::string& tty, const std::string& ids,
                       const std::string& maker, const std::string& product,
                       const std::string& serial, const std::string& byId = "") {
        const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + socket;
        const std::string interface = usb + "/" + socket + ":1.0";
        // usb-serial puts a port folder between the interface and the tty.
        const bool acm = tty.compare(0, 6, "ttyACM") == 0;
        const std::string port = acm ? interface : interface + "/" + tty;
        MakeDirs(port + "/tty/" + tty);
        Write(usb + "/idVendor", ids.substr(0, 4));
        Write(usb + "/idProduct", ids.substr(5));
        if (!maker.empty()) {
            Write(usb + "/manufacturer", maker);
        }
        if (!product.empty()) {
            Write(usb + "/product", product);
        }
        if (!serial.empty()) {
            Write(usb + "/serial", serial);
        }
        Link(acm ? "../../../" + socket + ":1.0" : "../../../" + tty,
             port + "/tty/" + tty + "/device");
        Link("../../" + port.substr(5) + "/tty/" + tty, "/sys/class/tty/" + tty);
        Write("/dev/" + tty, "");
        if (!byId.empty()) {
            MakeDirs("/dev/serial/by-id");
            Link("../../" + tty, "/dev/serial/by-id/" + byId);
        }
    }

    // ttyS `tty` with port type `type` (0: no UART behind it) at I/O `port`.
    void AddUart(const std::string& tty, int type, const std::string& port) {
        MakeDirs("/sys/class/tty/" + tty);
        Write("/sys/class/tty/" + tty + "/type", std::to_string(type));
        Write("/sys/class/tty/" + tty + "/port", port);
        Write("/dev/" + tty, "");
    }

    void Remove(const std::string& path) { ::unlink((root + path).c_str()); }

private:
    void MakeDirs(const std::string& path) {
        std::error_code ignored;
        std::filesystem::create_directories(root + path, ignored);
    }
    void Write(const std::string& path, const std::string& text) {
        std::ofstream(root + path) << text << (text.empty() ? "" : "\n");
    }
    void Link(const std::string& target, const std::string& path) {
        [[maybe_unused]] const int ignored = ::symlink(target.c_str(), (root + path).c_str());
    }

    std::string root;
};
