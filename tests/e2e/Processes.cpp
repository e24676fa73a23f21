#include "Processes.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

Scene::Scene() {
    EXPECT_TRUE(dir.isValid());
    QDir().mkpath(dir.path() + "/config/Halbrec/ZURavorav/ports");
}

Scene::~Scene() {
    StopSim();
}

QByteArray FileBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

RefusingPort::~RefusingPort() {
    ::close(fd);
}

std::vector<RecordBytes> Stored(const std::vector<RecordBytes>& ring) {
    std::vector<RecordBytes> out;
    for (const auto& r : ring) {
        if (!ZQ_namespace::IsEmptySlot(r.data())) {
            out.push_back(r);
        }
    }
    return out;
}

std::string Scene::Path(const std::string& name) const {
    return (dir.path() + "/" + QString::fromStdString(name)).toStdString();
}

QProcessEnvironment Scene::Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    env.insert("LC_ALL", "C.UTF-8");
    return env;
}

QStringList Scene::DumpArgs() const {
    return {"--dump", QString::fromStdString(Path("dump.txt"))};
}

void Scene::StartSim(const std::vector<std::string>& args) {
    QStringList list = {"--pty", "--link", dir.path() + "/config/Halbrec/ZURavorav/ports/COM7"};
    for (const std::string& a : args) {
        list << QString::fromStdString(a);
    }
    Launch(list + DumpArgs(), 1);
}

std::string Scene::StartNetSim(const std::vector<std::string>& args) {
    QStringList list;
    bool listening = false;
    for (const std::string& a : args) {
        list << QString::fromStdString(a);
        listening = listening || a == "--tcp-listen";
    }
    const std::vector<std::string> lines = Launch(list + DumpArgs(), listening ? 1 : 0);
    return lines.empty() ? std::string() : lines.front();
}

std::vector<std::string> Scene::StartFleet(const std::vector<std::string>& args, int devices) {
    QStringList list;
    for (const std::string& a : args) {
        list << QString::fromStdString(a);
    }
    return Launch(list, devices);
}

std::vector<std::string> Scene::Launch(QStringList list, int lines) {
    list << "--log-file" << QString::fromStdString(Path("sim.log"));
    sim = std::make_unique<QProcess>();
    sim->setProcessEnvironment(Environment());
    sim->setProcessChannelMode(QProcess::SeparateChannels);
    sim->start(ZQSIM_PATH, list);
    if (!sim->waitForStarted(5000)) {
        ADD_FAILURE() << "zqsim did not start";
        return {};
    }
    // The first lines of output are the line's path or the addresses
    // listened on: the simulator is ready.
    std::vector<std::string> printed;
    while (static_cast<int>(printed.size()) < lines) {
        if (sim->canReadLine()) {
            printed.push_back(sim->readLine().trimmed().toStdString());
        } else if (!sim->waitForReadyRead(5000)) {
            ADD_FAILURE() << sim->readAllStandardError().toStdString();
            break;
        }
    }
    return printed;
}

void Scene::StopSim() {
    if (sim && sim->state() != QProcess::NotRunning) {
        sim->terminate();
        if (!sim->waitForFinished(5000)) {
            sim->kill();
            sim->waitForFinished(2000);
        }
    }
    sim.reset();
}

std::unique_ptr<QProcess> Scene::StartCli(const std::vector<std::string>& args) {
    auto cli = std::make_unique<QProcess>();
    cli->setProcessEnvironment(Environment());
    QStringList list;
    for (const std::string& a : args) {
        list << QString::fromStdString(a);
    }
    cli->start(ZQCLI_PATH, list);
    if (!cli->waitForStarted(5000)) {
        ADD_FAILURE() << "zqcli did not start";
    }
    return cli;
}

std::string Scene::AwaitErrLine(QProcess& cli, const std::string& text, std::string& err,
                                int timeoutMs) {
    cli.setReadChannel(QProcess::StandardError);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (cli.canReadLine()) {
            const std::string line = cli.readLine().toStdString();
            err += line;
            if (line.find(text) != std::string::npos) {
                return line;
            }
        }
        if (cli.state() == QProcess::NotRunning || deadline.hasExpired()) {
            return {};
        }
        cli.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    }
}

Scene::Result Scene::Finish(QProcess& cli, int timeoutMs, const std::string& errBefore) {
    Result r;
    if (cli.error() == QProcess::FailedToStart) {
        return r;
    }
    if (cli.state() != QProcess::NotRunning && !cli.waitForFinished(timeoutMs)) {
        cli.kill();
        cli.waitForFinished(2000);
        ADD_FAILURE() << "zqcli did not finish in time";
    }
    r.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    r.out = cli.readAllStandardOutput().toStdString();
    r.err = errBefore + cli.readAllStandardError().toStdString();
    return r;
}

Scene::Result Scene::Cli(const std::vector<std::string>& args, int timeoutMs, int stopAfterMs) {
    const std::unique_ptr<QProcess> cli = StartCli(args);
    if (stopAfterMs > 0 && cli->error() != QProcess::FailedToStart &&
        !cli->waitForFinished(stopAfterMs)) {
        cli->terminate();
    }
    return Finish(*cli, timeoutMs);
}

std::string Scene::Result::LastStatus() const {
    std::string text = err;
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    const size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

std::map<std::string, std::vector<RecordBytes>> Scene::DumpedRecords() const {
    std::map<std::string, std::vector<RecordBytes>> rings;
    std::string text, error;
    if (!ReadWholeFile(Path("dump.txt"), text) || !ParseSimDump(text, rings, error)) {
        ADD_FAILURE() << "no dump: " << error;
    }
    return rings;
}

std::vector<SimDumpDevice> Scene::DumpedDevices() const {
    std::vector<SimDumpDevice> devices;
    std::string text, error;
    if (!ReadWholeFile(Path("dump.txt"), text) || !ParseSimDumpDevices(text, devices, error)) {
        ADD_FAILURE() << "no dump: " << error;
    }
    return devices;
}

std::vector<Exchange> Scene::LoggedExchanges() const {
    std::vector<Exchange> exchanges;
    std::string text, error;
    if (!ReadWholeFile(Path("sim.log"), text) || !ParseSimLog(text, exchanges, error)) {
        ADD_FAILURE() << "no log: " << error;
    }
    return exchanges;
}
