#include "SimDevice.h"

#include "PortNames.h"
#include "SimOptions.h"
#include "Simulator.h"

SimDevice::SimDevice(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"--pty", "--link", comprt::PortFolder() + "/COM7"};
    all.insert(all.end(), args.begin(), args.end());
    zqsim::SimOptions options;
    if (zqsim::ParseSimOptions(all, options, error) != zqsim::ParseOutcome::Run) {
        return;
    }
    simulator = std::make_unique<zqsim::Simulator>(options, [](const std::string&) {});
    started = simulator->Start(error);
    if (started) {
        thread = std::thread([this] { simulator->Run(); });
    }
}

SimDevice::~SimDevice() {
    if (thread.joinable()) {
        simulator->RequestStop();
        thread.join();
    }
}
