#include "MeterRound.h"

#include "ChanelKinds.h"
#include "FleetDatabase.h"

#include <atomic>
#include <memory>

// Lives on the round's thread: runs the round there and takes the stop.
class TMeterRoundWorker : public QObject {
    Q_OBJECT

public:
    void Run(const std::string& target, std::vector<Meter> meters, const RoundOptions& options);
    void Stop() {
        FStopRequested = true;
        if (FRound) {
            FRound->Stop();
        }
    }

    // Set on the round's thread once Run is over.
    std::atomic<bool> Done{false};

signals:
    void MeterProgress(const QString& name, int percent);
    void MeterEnded(const MeterOutcome& outcome);
    void Finished(const QString& error);

private:
    FleetRound* FRound = nullptr;
    bool FStopRequested = false;
};

void TMeterRoundWorker::Run(const std::string& target, std::vector<Meter> meters,
                            const RoundOptions& options) {
    std::vector<Meter> read;
    std::vector<MeterOutcome> refused;
    for (Meter& meter : meters) {
        if (meter.connection.CurrentChanel == ctModem) {
            MeterOutcome outcome;
            outcome.name = meter.name;
            outcome.kind = MeterOutcome::Kind::Failed;
            outcome.text =
                "прибор за модемом читается командой «Считать данные» или zqcli fleet round";
            refused.push_back(outcome);
        } else {
            read.push_back(std::move(meter));
        }
    }
    QString error;
    try {
        const std::unique_ptr<FleetDatabase> database = FleetDatabase::Open(target);
        for (const MeterOutcome& outcome : refused) {
            emit MeterEnded(outcome);
        }
        FleetRound round(*database, std::move(read), options);
        round.SetProgress([this](const std::string& name, int percent) {
            emit MeterProgress(QString::fromStdString(name), percent);
        });
        FRound = &round;
        if (FStopRequested) {
            round.Stop();
        }
        round.Run([this](const MeterOutcome& outcome) { emit MeterEnded(outcome); });
        FRound = nullptr;
    } catch (const std::exception& e) {
        FRound = nullptr;
        error = QString::fromUtf8(e.what());
    }
    Done = true;
    emit Finished(error);
}

TMeterRound::TMeterRound(QObject* parent) : QObject(parent) {
    qRegisterMetaType<MeterOutcome>();
    FThread.setObjectName(QStringLiteral("MeterRound"));
}

TMeterRound::~TMeterRound() {
    if (FWorker != nullptr) {
        // The thread is told to quit only once the round is over: quitting
        // it would end the round's own event loop at once, leaving its
        // reads in mid-step.
        Stop();
        while (!FWorker->Done) {
            QThread::msleep(5);
        }
    }
    FThread.quit();
    FThread.wait();
}

bool TMeterRound::Start(const std::string& target, std::vector<Meter> meters,
                        RoundOptions options) {
    if (FRunning) {
        return false;
    }
    FRunning = true;
    FWorker = new TMeterRoundWorker;
    FWorker->moveToThread(&FThread);
    connect(&FThread, &QThread::finished, FWorker, &QObject::deleteLater);
    connect(FWorker, &TMeterRoundWorker::MeterProgress, this, &TMeterRound::MeterProgress);
    connect(FWorker, &TMeterRoundWorker::MeterEnded, this, &TMeterRound::MeterEnded);
    connect(FWorker, &TMeterRoundWorker::Finished, this, [this](const QString& error) {
        // The thread ends with the round; its worker goes with it.
        FThread.quit();
        FThread.wait();
        FWorker = nullptr;
        FRunning = false;
        emit Finished(error);
    });
    FThread.start();
    TMeterRoundWorker* worker = FWorker;
    QMetaObject::invokeMethod(
        worker,
        [worker, target, meters = std::move(meters), options]() mutable {
            worker->Run(target, std::move(meters), options);
        },
        Qt::QueuedConnection);
    return true;
}

void TMeterRound::Stop() {
    if (FWorker != nullptr) {
        TMeterRoundWorker* worker = FWorker;
        QMetaObject::invokeMethod(
            worker, [worker] { worker->Stop(); }, Qt::QueuedConnection);
    }
}

#include "MeterRound.moc"
