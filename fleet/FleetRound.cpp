#include "FleetRound.h"

#include "ArchiveStruct.h"
#include "ChanelKinds.h"
#include "DateTime.h"
#include "Exception.h"
#include "HistoryStore.h"
#include "LaneTask.h"
#include "MeterClaims.h"
#include "MeterRegister.h"
#include "ReadInterval.h"
#include "ReadSettingsStruct.h"
#include "TextFormat.h"
#include "ZQReadAllParamsTask.h"
#include "ZQWriteCurrentTimeTask.h"

#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <map>

namespace {

constexpr int kTickMs = 100;
constexpr double kSecondsPerDay = 86400.0;
// A clock is never set this close to an hour's end or start: the device
// could lose or double an hourly record.
constexpr int kHourMarginS = 120;
// Claims are renewed this often while the round goes on.
constexpr int kRenewMs = 60000;

using Clock = std::chrono::steady_clock;

// Meters on one endpoint share a connection and are read one after another.
std::string EndpointOf(const ChanelSetupStruct& c) {
    switch (c.CurrentChanel) {
        case ctComPort:
            return "port " + c.ComPortName;
        case ctModem:
            return "modem " + c.ModemName + " " + c.PhoneNumber;
        case ctNetwork:
            return "net " + std::to_string(c.NetworkMode) + " " + c.NetworkAddress;
        default:
            return "other " + std::to_string(c.CurrentChanel);
    }
}

// The records a missing-part read put in front of the document's.
template <class List>
List Front(const List& grown, size_t documentSize) {
    const size_t fresh = grown.size() > documentSize ? grown.size() - documentSize : 0;
    return List(grown.begin(), grown.begin() + static_cast<std::ptrdiff_t>(fresh));
}

bool NearAnHour(TDateTime now) {
    int hour = 0, minute = 0, second = 0, ms = 0;
    DecodeTime(now, hour, minute, second, ms);
    const int intoHour = minute * 60 + second;
    return intoHour < kHourMarginS || intoHour > 3600 - kHourMarginS;
}

}  // namespace

std::string DefaultCollector() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return "localhost";
    }
    return name;
}

std::vector<Meter> MetersOfCollector(std::vector<Meter> meters, const std::string& collector) {
    meters.erase(std::remove_if(meters.begin(), meters.end(),
                                [&](const Meter& m) {
                                    return !m.collector.empty() && m.collector != collector;
                                }),
                 meters.end());
    return meters;
}

namespace {}  // namespace

// The meters of one endpoint and the connection they share.
struct FleetRound::Lane {
    std::deque<Meter> meters;
    std::unique_ptr<TQueueIDChanel> chanel;

    // The meter under way.
    enum class Phase { Idle, Reading, SettingClock } phase = Phase::Idle;
    Meter meter;
    std::unique_ptr<ZQTask> task;
    ZQValve valve;
    ZQValve document;
    int64_t readId = 0;
    bool grew = false;  // the read put new records in front of the document's
    Clock::time_point start;
    int requests = 0;
    TDateTime paramsAt = 0;  // the computer's time when the parameters came
    int percent = -1;        // last told to the progress hook
    MeterOutcome outcome;
};

struct FleetRound::State {
    FleetDatabase& database;
    HistoryStore store;
    MeterRegister meters;
    RoundOptions options;
    std::deque<Lane> waiting;
    std::vector<std::unique_ptr<Lane>> active;
    std::unique_ptr<MeterClaims> claims;
    int64_t roundId = 0;
    Report report;
    std::function<void(const std::string&)> log;
    Progress progress;
    QEventLoop* loop = nullptr;
    bool stopping = false;
    // Shared rounds: meters another collector held, with its name, to be
    // tried once more at the end.
    std::vector<std::pair<Meter, std::string>> heldElsewhere;
    bool retried = false;

    State(FleetDatabase& database, RoundOptions options)
        : database(database), store(database), meters(database), options(std::move(options)) {}

    TDateTime Now() const { return options.clock ? options.clock() : LocalNow(); }
    // Meters behind one endpoint go into one lane.
    void Enqueue(std::vector<Meter> meters);
    void Skip(const Meter& meter, const std::string& text);
    // Shared rounds: why the meter need not be read now (read lately by
    // this or another collector); empty when it must.
    std::string ReadLately(const Meter& meter);
    void Tick();
    void StartMeter(Lane& lane);
    void TickLane(Lane& lane);
    void EndRead(Lane& lane);
    void Finish(Lane& lane, MeterOutcome::Kind kind, const std::string& text, bool store);
    // Takes the channel back from the lane's task when it can serve what
    // follows: `more` meters or the clock's setting.
    void TakeChanelBack(Lane& lane, bool more);
    // The lane's endpoint is dead for this round: the meters still behind it
    // fail with its reason, without trying it again.
    void FailRest(Lane& lane, const std::string& reason);
    void Log(const Meter& meter, const std::string& text) {
        if (log) {
            log(meter.name + ": " + text);
        }
    }
};

FleetRound::FleetRound(FleetDatabase& database, std::vector<Meter> meters, RoundOptions options)
    : state(std::make_unique<State>(database, std::move(options))) {
    state->options.parallel = std::clamp(state->options.parallel, 1, 256);
    if (state->options.collector.empty()) {
        state->options.collector = DefaultCollector();
    }
    state->Enqueue(std::move(meters));
}

void FleetRound::State::Enqueue(std::vector<Meter> meters) {
    std::map<std::string, size_t> byEndpoint;
    for (Meter& meter : meters) {
        const std::string endpoint = EndpointOf(meter.connection);
        auto at = byEndpoint.find(endpoint);
        if (at == byEndpoint.end()) {
            at = byEndpoint.emplace(endpoint, waiting.size()).first;
            waiting.emplace_back();
        }
        waiting[at->second].meters.push_back(std::move(meter));
    }
}

FleetRound::~FleetRound() = default;

void FleetRound::SetLog(std::function<void(const std::string&)> log) {
    state->log = std::move(log);
}

void FleetRound::SetProgress(Progress progress) {
    state->progress = std::move(progress);
}

void FleetRound::Run(const Report& report) {
    State& s = *state;
    s.report = report;
    {
        FleetDatabase::Transaction t(s.database);
        s.roundId = s.store.BeginRound(s.options.collector, s.Now());
        t.Commit();
    }
    s.claims = std::make_unique<MeterClaims>(
        s.database,
        s.options.collector + "/" + std::to_string(getpid()) + "/" + std::to_string(s.roundId));
    QEventLoop loop;
    s.loop = &loop;
    QTimer tick;
    tick.setInterval(kTickMs);
    QObject::connect(&tick, &QTimer::timeout, [&s] { s.Tick(); });
    QTimer renew;
    renew.setInterval(kRenewMs);
    QObject::connect(&renew, &QTimer::timeout, [&s] { s.claims->Renew(); });
    tick.start();
    renew.start();
    s.Tick();
    if (!s.active.empty() || !s.waiting.empty()) {
        loop.exec();
    }
    s.loop = nullptr;
    s.claims->ReleaseAll();
    FleetDatabase::Transaction t(s.database);
    s.store.EndRound(s.roundId, s.Now());
    t.Commit();
}

void FleetRound::Stop() {
    state->stopping = true;
}

void FleetRound::State::Tick() {
    if (stopping) {
        for (auto& lane : active) {
            if (lane->task) {
                lane->task->Stop();
                Finish(*lane, MeterOutcome::Kind::Stopped, "Опрос остановлен", false);
            }
            for (const Meter& meter : lane->meters) {
                MeterOutcome outcome;
                outcome.name = meter.name;
                outcome.kind = MeterOutcome::Kind::Stopped;
                outcome.text = "Опрос остановлен";
                report(outcome);
            }
        }
        for (const Lane& lane : waiting) {
            for (const Meter& meter : lane.meters) {
                MeterOutcome outcome;
                outcome.name = meter.name;
                outcome.kind = MeterOutcome::Kind::Stopped;
                outcome.text = "Опрос остановлен";
                report(outcome);
            }
        }
        for (const auto& [meter, holder] : heldElsewhere) {
            Skip(meter, "читается другим опросом: " + holder);
        }
        active.clear();
        waiting.clear();
        heldElsewhere.clear();
    }
    while (!waiting.empty() && static_cast<int>(active.size()) < options.parallel) {
        active.push_back(std::make_unique<Lane>(std::move(waiting.front())));
        waiting.pop_front();
    }
    for (auto& lane : active) {
        TickLane(*lane);
    }
    active.erase(std::remove_if(active.begin(), active.end(),
                                [](const std::unique_ptr<Lane>& lane) {
                                    return lane->phase == Lane::Phase::Idle && lane->meters.empty();
                                }),
                 active.end());
    if (active.empty() && waiting.empty() && !heldElsewhere.empty() && !retried) {
        retried = true;
        std::vector<Meter> again;
        for (auto& held : heldElsewhere) {
            again.push_back(std::move(held.first));
        }
        heldElsewhere.clear();
        Enqueue(std::move(again));
        return;
    }
    if (active.empty() && waiting.empty() && loop != nullptr) {
        loop->quit();
    }
}

void FleetRound::State::TickLane(Lane& lane) {
    if (lane.phase == Lane::Phase::Idle) {
        if (lane.meters.empty()) {
            lane.chanel.reset();
            return;
        }
        StartMeter(lane);
        if (lane.phase == Lane::Phase::Idle) {
            return;
        }
    }
    lane.task->Tick();
    const int taskState = lane.task->GetState();
    if (progress && lane.phase == Lane::Phase::Reading && taskState == tsRunning &&
        lane.task->GetPercent() != lane.percent) {
        lane.percent = lane.task->GetPercent();
        progress(lane.meter.name, lane.percent);
    }
    if (lane.phase == Lane::Phase::Reading) {
        if (lane.paramsAt == 0 && (lane.task->GetStep() > 3 || taskState == tsDone)) {
            lane.paramsAt = Now();
        }
        if (taskState == tsDone) {
            EndRead(lane);
        } else if (taskState == tsError) {
            const bool dead =
                static_cast<LaneTask<ZQReadAllParamsTask>&>(*lane.task).EndpointDead();
            const std::string text = lane.task->GetStatusText();
            Finish(lane, MeterOutcome::Kind::Failed, text, false);
            if (dead) {
                FailRest(lane, text);
            }
        }
        return;
    }
    // Setting the clock: the read is stored either way.
    if (taskState == tsDone) {
        lane.outcome.clockSet = true;
        Finish(lane, MeterOutcome::Kind::Read, lane.outcome.text, true);
    } else if (taskState == tsError) {
        Finish(lane, MeterOutcome::Kind::Read,
               lane.outcome.text + "; часы не установлены: " + lane.task->GetStatusText(), true);
    }
}

void FleetRound::State::StartMeter(Lane& lane) {
    lane.meter = std::move(lane.meters.front());
    lane.meters.pop_front();
    lane.outcome = MeterOutcome{};
    lane.outcome.name = lane.meter.name;
    lane.start = Clock::now();
    lane.requests = 0;
    lane.paramsAt = 0;
    lane.percent = -1;
    lane.grew = false;
    lane.valve.Clear();
    lane.document.Clear();
    std::string heldBy;
    try {
        if (!claims->TryClaim(lane.meter.id, heldBy)) {
            if (options.skipFreshS && !retried) {
                heldElsewhere.emplace_back(lane.meter, heldBy);
            } else {
                Skip(lane.meter, "читается другим опросом: " + heldBy);
            }
            return;
        }
        if (const std::string lately = ReadLately(lane.meter); !lately.empty()) {
            claims->Release(lane.meter.id);
            Skip(lane.meter, lately);
            return;
        }
        FleetDatabase::Transaction t(database);
        lane.readId = store.BeginRead(lane.meter.id, roundId, Now());
        t.Commit();
        if (lane.meter.serial) {
            lane.document = store.Document(lane.meter.id);
            lane.document.Current.Serial = *lane.meter.serial;
        }
    } catch (const std::exception& e) {
        claims->Release(lane.meter.id);
        lane.outcome.kind = MeterOutcome::Kind::Failed;
        lane.outcome.text = e.what();
        report(lane.outcome);
        return;
    }
    const bool known = lane.meter.serial.has_value();
    // The connection stays for the meters after this one, and for the
    // clock when it may have to be set.
    const bool keepOpen = !lane.meters.empty() || options.syncClockS.has_value();
    auto task = std::make_unique<LaneTask<ZQReadAllParamsTask>>(
        lane.meter.connection, std::move(lane.chanel), keepOpen, &lane.valve,
        known ? &lane.document : nullptr);
    ReadSettingsStruct settings;
    settings.ReadHourArchive = settings.ReadDayArchive = settings.ReadMonthArchive =
        settings.ReadJournal = true;
    settings.ReadInterval = known ? riMissing : riWhole;
    task->SetReadSettings(settings);
    task->SetOtherDeviceChoice(OtherDeviceChoice::Refuse);
    Lane* at = &lane;
    const Meter& meter = lane.meter;
    task->SetExchangeSink([this, at](const ExchangeRecord& record) {
        if (record.direction == ExchangeDirection::ToDevice) {
            ++at->requests;
        }
        if (log) {
            log(at->meter.name + ": " + FormatExchangeLine(record));
        }
    });
    if (log) {
        task->SetConsoleSink([this, &meter](const std::string& text) { Log(meter, text); });
    }
    lane.task = std::move(task);
    lane.phase = Lane::Phase::Reading;
    if (progress) {
        lane.percent = 0;
        progress(lane.meter.name, 0);
    }
}

void FleetRound::State::EndRead(Lane& lane) {
    auto& read = static_cast<ZQReadAllParamsTask&>(*lane.task);
    lane.outcome.text = read.GetStatusText();
    lane.grew = read.GrewDocument();
    const TDateTime device = lane.valve.Current.Date + lane.valve.Current.Time;
    if (lane.valve.Current.Date != 0 && lane.paramsAt != 0) {
        lane.outcome.driftS = std::round((device - lane.paramsAt) * kSecondsPerDay);
    }
    const bool drifted = options.syncClockS && lane.outcome.driftS &&
                         std::abs(*lane.outcome.driftS) > *options.syncClockS;
    if (drifted && NearAnHour(Now())) {
        lane.outcome.text += "; часы не установлены: близко к началу часа";
    } else if (drifted) {
        TakeChanelBack(lane, true);
        lane.task = std::make_unique<LaneTask<ZQWriteCurrentTimeTask>>(
            lane.meter.connection, std::move(lane.chanel), !lane.meters.empty(), options.clock);
        lane.phase = Lane::Phase::SettingClock;
        return;
    }
    Finish(lane, MeterOutcome::Kind::Read, lane.outcome.text, true);
}

void FleetRound::State::Finish(Lane& lane, MeterOutcome::Kind kind, const std::string& text,
                               bool storeIt) {
    lane.outcome.kind = kind;
    lane.outcome.text = text;
    lane.outcome.requests = lane.requests;
    lane.outcome.seconds = std::chrono::duration<double>(Clock::now() - lane.start).count();
    if (kind != MeterOutcome::Kind::Stopped) {
        TakeChanelBack(lane, !lane.meters.empty());
    }
    lane.task.reset();
    lane.phase = Lane::Phase::Idle;
    try {
        FleetDatabase::Transaction t(database);
        HistoryStore::ReadOutcome logged;
        logged.end = Now();
        logged.success = kind == MeterOutcome::Kind::Read;
        logged.text = lane.outcome.text;
        logged.requests = lane.requests;
        logged.clockDriftS = lane.outcome.driftS;
        logged.clockSet = lane.outcome.clockSet;
        if (storeIt) {
            // A missing-part read's lists are the new records, then the
            // document's; a first read's are all new.
            ZQValve fresh = lane.valve;
            if (lane.grew) {
                fresh.HourArchive = Front(lane.valve.HourArchive, lane.document.HourArchive.size());
                fresh.DayArchive = Front(lane.valve.DayArchive, lane.document.DayArchive.size());
                fresh.MonthArchive =
                    Front(lane.valve.MonthArchive, lane.document.MonthArchive.size());
                fresh.Journal = Front(lane.valve.Journal, lane.document.Journal.size());
            }
            logged.added = store.AddNewest(lane.meter.id, fresh, lane.readId);
            store.AddParameters(lane.meter.id, lane.readId, lane.paramsAt, lane.valve);
            if (!lane.meter.serial) {
                meters.SetSerial(lane.meter.id, lane.valve.Current.Serial);
            }
            lane.outcome.added = logged.added;
        }
        store.EndRead(lane.readId, logged);
        t.Commit();
    } catch (const std::exception& e) {
        lane.outcome.kind = MeterOutcome::Kind::Failed;
        lane.outcome.text = std::string("не сохранено: ") + e.what();
        lane.outcome.added = {};
    }
    claims->Release(lane.meter.id);
    report(lane.outcome);
}

void FleetRound::State::Skip(const Meter& meter, const std::string& text) {
    MeterOutcome outcome;
    outcome.name = meter.name;
    outcome.kind = MeterOutcome::Kind::Skipped;
    outcome.text = text;
    report(outcome);
}

std::string FleetRound::State::ReadLately(const Meter& meter) {
    if (!options.skipFreshS) {
        return {};
    }
    const std::optional<HistoryStore::LastRead> last = store.LastSuccess(meter.id);
    if (!last || (Now() - last->end) * kSecondsPerDay >= *options.skipFreshS) {
        return {};
    }
    return "прочитан в " + FormatDateTime("hh:nn:ss", last->end) + " сборщиком " + last->collector;
}

void FleetRound::State::FailRest(Lane& lane, const std::string& reason) {
    const std::string text = "точка подключения недоступна (" + reason + ")";
    for (const Meter& meter : lane.meters) {
        MeterOutcome outcome;
        outcome.name = meter.name;
        outcome.kind = MeterOutcome::Kind::Failed;
        outcome.text = text;
        try {
            FleetDatabase::Transaction t(database);
            const int64_t readId = store.BeginRead(meter.id, roundId, Now());
            HistoryStore::ReadOutcome logged;
            logged.end = Now();
            logged.text = text;
            store.EndRead(readId, logged);
            t.Commit();
        } catch (const std::exception& e) {
            outcome.text += std::string("; не записано в журнал опросов: ") + e.what();
        }
        report(outcome);
    }
    lane.meters.clear();
    lane.chanel.reset();
}

void FleetRound::State::TakeChanelBack(Lane& lane, bool more) {
    if (!lane.task) {
        return;
    }
    std::unique_ptr<TQueueIDChanel> chanel = lane.task->ReleaseChanel();
    // Only an idle connection serves the next meter: a command still
    // pending would answer it with this one's outcome.
    if (more && chanel && chanel->GetState() == csConnected && chanel->GetPendingCount() == 0) {
        lane.chanel = std::move(chanel);
    } else {
        lane.chanel.reset();
    }
}
