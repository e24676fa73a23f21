#include "Processes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <sstream>

Scene::Scene() {
    EXPECT_TRUE(dir.isValid());
    QDir().mkpath(dir.path() + "/config/Halbrec/ZURavorav/ports");
}

Scene::~Scene() {
    StopSim();
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

void Scene::StartSim(const std::vector<std::string>& args) {
    sim = std::make_unique<QProcess>();
    sim->setProcessEnvironment(Environment());
    sim->setProcessChannelMode(QProcess::SeparateChannels);
    QStringList list = {"--pty",
                        "--link",
                        dir.path() + "/config/Halbrec/ZURavorav/ports/COM7",
                        "--dump",
                        QString::fromStdString(Path("dump.txt")),
                        "--log-file",
                        QString::fromStdString(Path("sim.log"))};
    for (const std::string& a : args) {
        list << QString::fromStdString(a);
    }
    sim->start(ZQSIM_PATH, list);
    ASSERT_TRUE(sim->waitForStarted(5000));
    // The first line of output is the line's path: the simulator is ready.
    while (!sim->canReadLine()) {
        ASSERT_TRUE(sim->waitForReadyRead(5000)) << sim->readAllStandardError().toStdString();
    }
    sim->readLine();
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

Scene::Result Scene::Cli(const std::vector<std::string>& args, int timeoutMs, int stopAfterMs) {
    QProcess cli;
    cli.setProcessEnvironment(Environment());
    QStringList list;
    for (const std::string& a : args) {
        list << QString::fromStdString(a);
    }
    cli.start(ZQCLI_PATH, list);
    Result r;
    if (!cli.waitForStarted(5000)) {
        ADD_FAILURE() << "zqcli did not start";
        return r;
    }
    if (stopAfterMs > 0 && !cli.waitForFinished(stopAfterMs)) {
        cli.terminate();
    }
    if (cli.state() != QProcess::NotRunning && !cli.waitForFinished(timeoutMs)) {
        cli.kill();
        cli.waitForFinished(2000);
        ADD_FAILURE() << "zqcli did not finish in time";
    }
    r.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    r.out = cli.readAllStandardOutput().toStdString();
    r.err = cli.readAllStandardError().toStdString();
    return r;
}

std::string Scene::Result::LastStatus() const {
    std::string text = err;
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    const size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

std::map<std::string, std::vector<std::array<uint8_t, 16>>> Scene::DumpedRecords() const {
    std::map<std::string, std::vector<std::array<uint8_t, 16>>> rings;
    QFile file(QString::fromStdString(Path("dump.txt")));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no dump";
        return rings;
    }
    // The file is rewritten after every write command: keep the last dump.
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QList<QByteArray> parts = raw.trimmed().split(' ');
        if (parts.size() == 5 && parts[0] == "ring") {
            rings[parts[1].toStdString()].clear();
        } else if (parts.size() == 3 && parts[2].size() == 32) {
            const QByteArray bytes = QByteArray::fromHex(parts[2]);
            std::array<uint8_t, 16> record;
            std::copy(bytes.begin(), bytes.end(), record.begin());
            rings[parts[0].toStdString()].push_back(record);
        }
    }
    return rings;
}

std::vector<std::string> Scene::LoggedRequests() const {
    std::vector<std::string> requests;
    QFile file(QString::fromStdString(Path("sim.log")));
    if (!file.open(QIODevice::ReadOnly)) {
        return requests;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        const int arrow = line.indexOf(" <- ");
        if (arrow >= 0) {
            requests.push_back(line.mid(arrow + 4).trimmed().toStdString());
        }
    }
    return requests;
}
