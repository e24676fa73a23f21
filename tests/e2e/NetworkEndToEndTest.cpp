// Reads over the network: through Debian's ser2net in front of the
// simulator's pseudo-terminal (raw TCP and RFC 2217), from a simulator
// that listens with its answers cut into pieces after a modem's line, and
// from one that calls in; who may call in; and the faults of a network, each
// ending with its text and leaving an existing file as it was.
#include "Processes.h"

#include "CaseNames.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cstdlib>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

ZQ_PRINT_CASES_BY_NAME

// The same device every time: same records, a clock that stands still.
const std::vector<std::string> kDevice = {"--baud",    "0",
                                          "--latency", "0",
                                          "--seed",    "11",
                                          "--clock",   "2024-06-01T12:00:00",
                                          "--hour",    "70",
                                          "--day",     "40",
                                          "--month",   "13",
                                          "--journal", "45",
                                          "--wrap",    "--frozen-clock"};

std::vector<std::string> Device(std::vector<std::string> more) {
    std::vector<std::string> args = kDevice;
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Someone listens on the loopback port.
bool Listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return up;
}

// A loopback port nobody listens on now. Only for ser2net, which must bind
// its ports itself: it can listen on port 0 but tells nobody which port it
// got, so the port is chosen here and another program may take it before
// ser2net does.
int FreePort() {
    int port = 0;
    ::close(BoundSocket(port));
    return port;
}

// Runs zqcli with `args`, which wait for the device's call on port 0 and
// print the exchange log, and starts the calling device on the port zqcli's
// note names, once it names it.
Scene::Result CalledBy(Scene& scene, const std::vector<std::string>& args) {
    const std::unique_ptr<QProcess> cli = scene.StartCli(args);
    std::string err;
    const std::string note = Scene::AwaitErrLine(*cli, "Ожидание звонка прибора на ", err, 10000);
    if (!note.empty()) {
        const int port = std::atoi(note.c_str() + note.rfind(':') + 1);
        EXPECT_NE(port, 0) << note;
        scene.StartNetSim(Device({"--tcp-connect", "127.0.0.1:" + std::to_string(port)}));
    }
    return Scene::Finish(*cli, 60000, err);
}

// The file a read of kDevice over its pseudo-terminal gives.
QByteArray ReadOverThePty() {
    Scene scene;
    scene.StartSim(kDevice);
    const Scene::Result r = scene.Cli({"read", "--port", "COM7", "--out", scene.Path("pty.arch")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return FileBytes(scene.Path("pty.arch"));
}

// Debian's ser2net in front of the scene's COM7, without a banner: raw TCP
// on one port, RFC 2217 on another.
class Ser2net {
public:
    Ser2net(const Scene& scene, const std::string& line) : raw(FreePort()), rfc2217(FreePort()) {
        const std::string config = scene.Path("ser2net.yaml");
        QFile file(QString::fromStdString(config));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        const std::string text =
            "%YAML 1.1\n---\n"
            "connection: &raw\n"
            "  accepter: tcp,127.0.0.1," +
            std::to_string(raw) +
            "\n"
            "  connector: serialdev," +
            line +
            ",19200n81,local\n"
            "connection: &rfc2217\n"
            "  accepter: telnet(rfc2217),tcp,127.0.0.1," +
            std::to_string(rfc2217) +
            "\n"
            "  connector: serialdev," +
            line + ",19200n81,local\n";
        file.write(text.c_str());
        file.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        // /usr/sbin may be missing from an ordinary user's PATH.
        QString program = QStandardPaths::findExecutable("ser2net");
        if (program.isEmpty()) {
            program = QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/sbin"});
        }
        process.start(program, {"-n", "-u", "-c", QString::fromStdString(config), "-P",
                                QString::fromStdString(scene.Path("ser2net.pid"))});
        EXPECT_TRUE(process.waitForStarted(5000)) << "ser2net is installed by scripts/setup.sh";
        for (int port : {raw, rfc2217}) {
            bool up = false;
            for (int i = 0; i < 100 && !(up = Listening(port)); ++i) {
                QThread::msleep(50);
            }
            EXPECT_TRUE(up) << "ser2net does not listen on " << port << ": "
                            << process.readAll().toStdString();
        }
    }
    ~Ser2net() {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
    const int raw;
    const int rfc2217;

private:
    QProcess process;
};

TEST(NetworkEndToEnd, ThroughSer2netTheFileIsTheSameAsOverThePort) {
    const QByteArray expected = ReadOverThePty();
    ASSERT_FALSE(expected.isEmpty());
    Scene scene;
    scene.StartSim(kDevice);
    Ser2net server(scene, scene.Path("config/Halbrec/ZURavorav/ports/COM7"));
    const Scene::Result raw = scene.Cli({"read", "--tcp", "127.0.0.1:" + std::to_string(server.raw),
                                         "--out", scene.Path("raw.arch"), "--verbose"});
    ASSERT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_EQ(FileBytes(scene.Path("raw.arch")), expected);
    EXPECT_NE(raw.err.find("Соединение с 127.0.0.1:" + std::to_string(server.raw) + " установлено"),
              std::string::npos);
    const Scene::Result rfc =
        scene.Cli({"read", "--rfc2217", "127.0.0.1:" + std::to_string(server.rfc2217), "--out",
                   scene.Path("rfc2217.arch"), "--verbose"});
    ASSERT_EQ(rfc.exitCode, 0) << rfc.err;
    EXPECT_EQ(FileBytes(scene.Path("rfc2217.arch")), expected);
    EXPECT_NE(rfc.err.find("Сервер принял управление COM-портом (RFC 2217)"), std::string::npos)
        << rfc.err;
}

TEST(NetworkEndToEnd, AnswersInPiecesAndACallingDeviceGiveTheSameFile) {
    const QByteArray expected = ReadOverThePty();
    ASSERT_FALSE(expected.isEmpty());
    {
        // A modem's line first, then every answer in pieces of 128 bytes
        // 200 ms apart, as over a slow mobile network.
        Scene scene;
        const std::string address =
            scene.StartNetSim(Device({"--tcp-listen", "127.0.0.1:0", "--banner",
                                      "CONNECT 9600\\r\\n", "--segment", "128:200"}));
        const Scene::Result r =
            scene.Cli({"read", "--tcp", address, "--out", scene.Path("t.arch")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(FileBytes(scene.Path("t.arch")), expected);
    }
    {
        // The device calls in, as a modem behind an operator's NAT does.
        Scene scene;
        const Scene::Result r =
            CalledBy(scene, {"read", "--listen", "127.0.0.1:0", "--allow", "127.0.0.1", "--out",
                             scene.Path("c.arch"), "--verbose"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(FileBytes(scene.Path("c.arch")), expected);
        EXPECT_NE(r.err.find("Прибор позвонил с 127.0.0.1"), std::string::npos) << r.err;
    }
}

struct FaultCase {
    const char* name;
    std::vector<std::string> sim;  // empty: no simulator
    std::string address;           // "" = the simulator's
    const char* status;
    const char* logged;  // in the exchange log
};

class NetworkFault : public testing::TestWithParam<FaultCase> {};

TEST_P(NetworkFault, EndsWithItsTextAndLeavesTheFileAlone) {
    const FaultCase& c = GetParam();
    Scene scene;
    std::string address = c.address;
    if (!c.sim.empty()) {
        address = scene.StartNetSim(Device(c.sim));
    }
    const std::string out = scene.Path("kept.arch");
    QFile file(QString::fromStdString(out));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("an earlier read");
    file.close();
    const Scene::Result r = scene.Cli({"read", "--tcp", address, "--out", out, "--verbose"}, 90000);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.LastStatus(), c.status) << r.err;
    EXPECT_NE(r.err.find(c.logged), std::string::npos) << r.err;
    EXPECT_EQ(FileBytes(out), QByteArray("an earlier read"));
}

const RefusingPort kRefusing;

INSTANTIATE_TEST_SUITE_P(
    Faults, NetworkFault,
    testing::Values(
        FaultCase{
            "Refused", {}, kRefusing.Address(), "Соединение не установлено", "Connection refused"},
        FaultCase{"UnknownHost",
                  {},
                  "no-such-meter.invalid:4001",
                  "Соединение не установлено",
                  "имя не найдено"},
        FaultCase{"MutePeer",
                  {"--tcp-listen", "127.0.0.1:0", "--tcp-mute"},
                  "",
                  "Нет ответа от прибора",
                  "Прибор не отвечает"},
        FaultCase{"DroppedMidRead",
                  {"--tcp-listen", "127.0.0.1:0", "--tcp-drop-after", "6"},
                  "",
                  "Соединение разорвано",
                  "закрыл соединение"}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// Who may call in: the stored list holds unless --allow replaces it, and
// an empty list lets every caller in only when --allow any says so. The
// device calls from 127.0.0.1.
struct CallerCase {
    const char* name;
    const char* stored;              // AllowedPeers in the settings
    std::vector<std::string> allow;  // --allow and its value, or nothing
    int exitCode;
    const char* said;  // on standard error
};

class AllowedCallers : public testing::TestWithParam<CallerCase> {};

TEST_P(AllowedCallers, LetInOnlyWhomTheListOrTheWordSays) {
    const CallerCase& c = GetParam();
    Scene scene;
    const QByteArray home = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", scene.Environment().value("XDG_CONFIG_HOME").toLocal8Bit());
    ChanelSetupStruct stored;
    stored.AllowedPeers = c.stored;
    const bool saved = SaveChanelSetup(stored);
    qputenv("XDG_CONFIG_HOME", home);
    ASSERT_TRUE(saved);

    std::vector<std::string> args = {"monitor", "--cycles",  "1",        "--timeout",
                                     "5",       "--verbose", "--listen", "127.0.0.1:0"};
    args.insert(args.end(), c.allow.begin(), c.allow.end());
    const Scene::Result r = CalledBy(scene, args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Listen, AllowedCallers,
    testing::Values(
        CallerCase{
            "StoredListHoldsWithoutAllow", "10.0.0.7", {}, 1, "Отклонено соединение с 127.0.0.1"},
        CallerCase{"AllowReplacesTheStoredList",
                   "10.0.0.7",
                   {"--allow", "127.0.0.1"},
                   0,
                   "Прибор позвонил с 127.0.0.1"},
        CallerCase{"EmptyStoredListIsAUsageError", "", {}, 2, "--allow any"},
        CallerCase{"AnyCallerOnlyWhenSaid", "", {"--allow", "any"}, 0, "warning: --allow any"}),
    [](const testing::TestParamInfo<CallerCase>& info) { return std::string(info.param.name); });

}  // namespace
