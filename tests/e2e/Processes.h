#pragma once

#include "LoopbackSocket.h"

#include "ArchiveStruct.h"
#include "SimRecords.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

// One end-to-end scene: a private settings folder, a simulated device on a
// pseudo-terminal reachable as port COM7 (a port-folder alias), and zqcli
// runs against it.
class Scene {
public:
    Scene();
    ~Scene();

    // Starts zqsim with `args` plus --pty, the COM7 link and a dump file; the
    // line is ready when this returns.
    void StartSim(const std::vector<std::string>& args);
    // Starts zqsim on the network (`args` hold --tcp-listen or --tcp-connect)
    // with a dump file. Listening, it waits for the address listened on and
    // returns it; calling, it returns at once with "".
    std::string StartNetSim(const std::vector<std::string>& args);
    // Starts a fleet (`args` hold --fleet with its count and --tcp-listen),
    // without a dump; returns the lines it printed, one per device.
    std::vector<std::string> StartFleet(const std::vector<std::string>& args, int devices);
    void StopSim();

    struct Result {
        int exitCode = -1;
        std::string out;
        std::string err;
        // The last line zqcli wrote to standard error: the final status text.
        std::string LastStatus() const;
    };
    // Runs zqcli with `args`; at most `timeoutMs`. With `stopAfterMs`, it is
    // sent SIGTERM (as Ctrl+C would send SIGINT) after that time.
    Result Cli(const std::vector<std::string>& args, int timeoutMs = 60000, int stopAfterMs = 0);
    // Starts zqcli with `args` and leaves it running; the caller ends it.
    std::unique_ptr<QProcess> StartCli(const std::vector<std::string>& args);
    // Reads the standard error of a zqcli from StartCli as it comes, until a
    // line holds `text`, at most `timeoutMs`; all it read is appended to
    // `err`. Returns that line, or "" when zqcli ended or the time ran out.
    static std::string AwaitErrLine(QProcess& cli, const std::string& text, std::string& err,
                                    int timeoutMs);
    // Waits for a zqcli from StartCli to end, at most `timeoutMs` (then it
    // is killed and the test fails), and collects what it wrote; `errBefore`
    // (what AwaitErrLine read) goes in front of the rest of its standard
    // error.
    static Result Finish(QProcess& cli, int timeoutMs, const std::string& errBefore = {});

    // The simulator's rings as it dumped them last: per kind, the records in
    // the order a reader gets them (newest first).
    std::map<std::string, std::vector<RecordBytes>> DumpedRecords() const;
    // The same per device of the line, in the order of --address.
    std::vector<SimDumpDevice> DumpedDevices() const;
    // The requests the simulator cut from the line, with its answers.
    std::vector<Exchange> LoggedExchanges() const;

    std::string Path(const std::string& name) const;
    QProcessEnvironment Environment() const;

private:
    // Starts zqsim with `list` and a log file; returns its first `lines`
    // lines of output (fewer when it failed).
    std::vector<std::string> Launch(QStringList list, int lines);
    QStringList DumpArgs() const;

    QTemporaryDir dir;
    std::unique_ptr<QProcess> sim;
};

// The bytes of the file at `path`; empty when it cannot be read.
QByteArray FileBytes(const std::string& path);

// A loopback port nobody listens on, for as long as this lives: bound and
// never listening, so a connection there is refused and nobody takes it.
class RefusingPort {
public:
    RefusingPort() : fd(BoundSocket(port)) {}
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }

private:
    int port = 0;  // before fd: the constructor sets it while binding
    int fd;
};

// The 16 bytes of each record of a list, in order.
template <class List>
std::vector<RecordBytes> AsBytes(const List& list) {
    std::vector<RecordBytes> out;
    for (const auto& r : list) {
        std::copy(r.Bytes(), r.Bytes() + 16, out.emplace_back().begin());
    }
    return out;
}

// The records a device holds, in read order, without its empty slots.
std::vector<RecordBytes> Stored(const std::vector<RecordBytes>& ring);

template <class Record>
RecordBytes Bytes16(const Record& r) {
    RecordBytes a;
    std::copy(r.Bytes(), r.Bytes() + 16, a.begin());
    return a;
}
