#pragma once

#include "FleetRound.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <string>
#include <vector>

Q_DECLARE_METATYPE(MeterOutcome)

class TMeterRoundWorker;

// The window's round: FleetRound on a thread of its own, which opens its
// own connection to the database (Qt SQL connections are per thread), so
// the window stays responsive while meters are read. What the round tells
// comes back to the GUI thread through queued signals.
//
// A meter reached by a modem is not read here: the modem's call is driven
// on the GUI thread, which a round on another thread cannot share; it is
// told as failed, saying to read it with "Считать данные" or zqcli fleet
// round. GUI thread only.
class TMeterRound : public QObject {
    Q_OBJECT

public:
    explicit TMeterRound(QObject* parent = nullptr);
    // Stops a round under way and waits for its thread to end.
    ~TMeterRound() override;

    // Starts a round of `meters` on the database `target` (FleetDatabase::
    // Open's argument). False while one runs.
    bool Start(const std::string& target, std::vector<Meter> meters, RoundOptions options);
    // Ends the round at once: the reads under way store nothing, the meters
    // not read stay as they were and are told as stopped.
    void Stop();
    bool Running() const { return FRunning; }

signals:
    // A meter's read started (0) or went on (its percent).
    void MeterProgress(const QString& name, int percent);
    void MeterEnded(const MeterOutcome& outcome);
    // The round is over; `error` names what kept it from running at all
    // (the database could not be opened), else empty.
    void Finished(const QString& error);

private:
    QThread FThread;
    TMeterRoundWorker* FWorker = nullptr;  // lives on FThread, deleted when it ends
    bool FRunning = false;
};
