#include "LineService.h"

#include "AtDialer.h"
#include "AtLineBuffer.h"
#include "ModemPort.h"
#include "SettingsStore.h"
#include "TapiConstants.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <map>
#include <memory>
#include <vector>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct ModemEntry {
    std::string name;
    std::string port;
    std::string init;
    uint32_t mediaModes = LINEMEDIAMODE_DATAMODEM;
};

struct Call;

struct Line {
    HLINE handle = 0;
    HLINEAPP app = 0;
    ModemEntry modem;
    std::unique_ptr<ModemPort> port;
    Call* call = nullptr;
};

struct Call {
    HCALL handle = 0;
    Line* line = nullptr;
    HCALL* owner = nullptr;  // where the call handle goes once the request succeeds
    uint32_t requestId = 0;
    std::unique_ptr<AtDialer> dialer;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QTimer> timer;
    QElapsedTimer clock;
    AtLineBuffer lines;  // the modem's responses, cut into lines
    bool replied = false;
};

// One line application: its callback and the modems it was given.
struct App {
    LineCallbackFn callback = nullptr;
    std::vector<ModemEntry> modems;
};

// The line applications, the open lines and calls. GUI thread only.
struct Provider {
    std::map<HLINEAPP, App> apps;
    std::map<HLINE, std::unique_ptr<Line>> lines;
    std::map<HCALL, std::unique_ptr<Call>> calls;
    uintptr_t nextHandle = 1;
    uint32_t nextRequest = 1;
};

Provider& TheProvider() {
    static Provider provider;
    return provider;
}

const App* FindApp(HLINEAPP app) {
    auto it = TheProvider().apps.find(app);
    return it == TheProvider().apps.end() ? nullptr : &it->second;
}

// Posts a message to the line application's callback through the event
// loop, so it never runs inside the caller and always on the GUI thread.
void Post(HLINEAPP app, uintptr_t hDevice, uint32_t msg, uintptr_t p1, uintptr_t p2 = 0,
          uintptr_t p3 = 0) {
    QObject* context = QCoreApplication::instance();
    if (context == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        context,
        [=] {
            const App* a = FindApp(app);
            if (a != nullptr && a->callback != nullptr) {
                a->callback(hDevice, msg, 0, p1, p2, p3);
            }
        },
        Qt::QueuedConnection);
}

std::vector<ModemEntry> ReadModems() {
    std::vector<ModemEntry> modems;
    SettingsStore store;
    for (const std::string& key : store.SubKeys(kModemsKey)) {
        const std::string path = std::string(kModemsKey) + "\\" + key;
        ModemEntry entry;
        // A modem may carry a line name of its own; by default the key's.
        entry.name = store.ReadString(path, "Name").value_or(key);
        entry.port = store.ReadString(path, "Port").value_or("");
        entry.init = store.ReadString(path, "Init").value_or("ATZ");
        entry.mediaModes = static_cast<uint32_t>(
            store.ReadInteger(path, "MediaModes").value_or(LINEMEDIAMODE_DATAMODEM));
        modems.push_back(entry);
    }
    return modems;
}

void EndCall(Call* call) {
    if (call->line != nullptr) {
        call->line->call = nullptr;
    }
    TheProvider().calls.erase(call->handle);
}

void Apply(Call* call, const AtDialer::Output& out);

// Bytes taken from the modem's port in one wake-up of its notifier: a modem
// that keeps sending cannot hold the GUI thread, and the notifier wakes
// again for the rest on a later turn of the event loop.
constexpr size_t kMaxReadPerWake = 4096;

// The modem's answers while the call is being set up.
void OnReadable(Call* call) {
    const HCALL handle = call->handle;
    const int fd = call->line->port->Handle();
    char buffer[256];
    std::vector<std::string> lines;
    auto take = [&](const char* data, size_t size) {
        std::vector<std::string> more = call->lines.Feed(data, size);
        lines.insert(lines.end(), more.begin(), more.end());
    };
    for (size_t taken = 0; taken < kMaxReadPerWake;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            take(buffer, static_cast<size_t>(n));
            taken += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // A raw line gives 0 or EAGAIN when nothing waits; only the poll tells
        // a hung-up line apart.
        pollfd p{fd, 0, 0};
        const bool hungUp = (n < 0 && errno != EAGAIN) ||
                            (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)));
        if (hungUp) {
            // The line hung up under the modem dialogue: as if no carrier came.
            call->notifier->setEnabled(false);
            const char noCarrier[] = "\rNO CARRIER\r";
            take(noCarrier, sizeof noCarrier - 1);
        }
        break;
    }
    for (const std::string& line : lines) {
        Apply(call, call->dialer->OnLine(line, call->clock.elapsed()));
        if (TheProvider().calls.count(handle) == 0 || call->dialer->Finished()) {
            return;
        }
    }
}

void Apply(Call* call, const AtDialer::Output& out) {
    if (!out.write.empty() && call->line != nullptr) {
        call->line->port->WriteText(out.write);
    }
    if (out.dropCall && call->line != nullptr) {
        call->line->port->HangUp(/*connected=*/false);
    }
    for (uint32_t state : out.states) {
        if (call->line == nullptr) {
            break;
        }
        Post(call->line->app, call->handle, LINE_CALLSTATE, state);
    }
    if (call->dialer->Finished()) {
        // Connected: the channel's worker reads the port from now on.
        // Disconnected: nothing more to read.
        call->notifier->setEnabled(false);
        call->timer->stop();
    }
}

void StartCall(Call* call) {
    Line* line = call->line;
    // Whatever the modem said before this call is not an answer to it.
    ::tcflush(line->port->Handle(), TCIFLUSH);
    const AtDialer::Output first = call->dialer->Start(call->clock.elapsed());
    if (!line->port->WriteText(first.write)) {
        Post(line->app, 0, LINE_REPLY, call->requestId, LINEERR_OPERATIONFAILED);
        EndCall(call);
        return;
    }
    *call->owner = call->handle;
    call->replied = true;
    Post(line->app, 0, LINE_REPLY, call->requestId, 0);
    call->notifier = std::make_unique<QSocketNotifier>(line->port->Handle(), QSocketNotifier::Read);
    QObject::connect(call->notifier.get(), &QSocketNotifier::activated,
                     [call] { OnReadable(call); });
    call->timer = std::make_unique<QTimer>();
    call->timer->setInterval(250);
    QObject::connect(call->timer.get(), &QTimer::timeout,
                     [call] { Apply(call, call->dialer->OnTime(call->clock.elapsed())); });
    call->timer->start();
}

}  // namespace

long lineInitialize(HLINEAPP* lineApp, LineCallbackFn callback, const char*, uint32_t* numDevs) {
    Provider& p = TheProvider();
    const HLINEAPP app = p.nextHandle++;
    App& a = p.apps[app];
    a.callback = callback;
    a.modems = ReadModems();
    *lineApp = app;
    *numDevs = static_cast<uint32_t>(a.modems.size());
    return 0;
}

long lineShutdown(HLINEAPP lineApp) {
    Provider& p = TheProvider();
    if (FindApp(lineApp) == nullptr) {
        return kLineErrFailed;
    }
    std::vector<HLINE> own;
    for (const auto& [handle, line] : p.lines) {
        if (line->app == lineApp) {
            own.push_back(handle);
        }
    }
    for (HLINE handle : own) {
        lineClose(handle);
    }
    p.apps.erase(lineApp);
    return 0;
}

long lineNegotiateAPIVersion(HLINEAPP, uint32_t, uint32_t, uint32_t highVersion,
                             uint32_t* apiVersion) {
    *apiVersion = highVersion < 0x20000 ? highVersion : 0x20000;
    return 0;
}

long lineGetDevCaps(HLINEAPP lineApp, uint32_t deviceId, uint32_t, LINEDEVCAPS* caps) {
    const App* a = FindApp(lineApp);
    if (a == nullptr || deviceId >= a->modems.size()) {
        return kLineErrFailed;
    }
    const ModemEntry& m = a->modems[deviceId];
    caps->dwMediaModes = m.mediaModes;
    caps->dwMaxRate = 19200;
    caps->LineName = m.name;
    caps->Port = m.port;
    return 0;
}

long lineOpen(HLINEAPP lineApp, uint32_t deviceId, HLINE* line, uint32_t, uint32_t, uint32_t) {
    Provider& p = TheProvider();
    const App* a = FindApp(lineApp);
    if (a == nullptr || deviceId >= a->modems.size()) {
        return kLineErrFailed;
    }
    auto l = std::make_unique<Line>();
    l->app = lineApp;
    l->modem = a->modems[deviceId];
    l->port = ModemPort::Open(l->modem.port);
    if (!l->port) {
        return kLineErrFailed;
    }
    l->handle = p.nextHandle++;
    *line = l->handle;
    p.lines[l->handle] = std::move(l);
    return 0;
}

long lineTranslateAddress(HLINEAPP, uint32_t, uint32_t, const std::string& number,
                          std::string* dialable, std::string* displayable) {
    *dialable = DialableNumber(number);
    *displayable = number;
    return 0;
}

long lineMakeCall(HLINE line, HCALL* call, const std::string& dialable,
                  const LINECALLPARAMS& params) {
    Provider& p = TheProvider();
    auto it = p.lines.find(line);
    if (it == p.lines.end() || it->second->call != nullptr) {
        return kLineErrFailed;
    }
    auto c = std::make_unique<Call>();
    c->handle = p.nextHandle++;
    c->line = it->second.get();
    c->owner = call;
    c->requestId = p.nextRequest++;
    const int64_t noAnswerMs =
        params.dwNoAnswerTimeout != 0 ? int64_t{params.dwNoAnswerTimeout} * 1000 : 120000;
    c->dialer = std::make_unique<AtDialer>(c->line->modem.init, dialable, noAnswerMs);
    c->clock.start();
    Call* raw = c.get();
    it->second->call = raw;
    p.calls[raw->handle] = std::move(c);
    const HCALL handle = raw->handle;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [handle] {
            auto found = TheProvider().calls.find(handle);
            if (found != TheProvider().calls.end()) {
                StartCall(found->second.get());
            }
        },
        Qt::QueuedConnection);
    return raw->requestId;
}

long lineSetCallParams(HCALL call, uint32_t, uint32_t, uint32_t) {
    return TheProvider().calls.count(call) ? 0 : kLineErrFailed;
}

long lineGetID(HLINE line, HCALL call, int* commHandle) {
    Provider& p = TheProvider();
    auto l = p.lines.find(line);
    auto c = p.calls.find(call);
    if (l == p.lines.end() || c == p.calls.end() || c->second->line != l->second.get() ||
        !c->second->dialer->Connected()) {
        return kLineErrFailed;
    }
    const int fd = l->second->port->Duplicate();
    if (fd < 0) {
        return kLineErrFailed;
    }
    *commHandle = fd;
    return 0;
}

long lineDrop(HCALL call) {
    Provider& p = TheProvider();
    auto it = p.calls.find(call);
    if (it == p.calls.end()) {
        return kLineErrFailed;
    }
    Call* c = it->second.get();
    if (c->line != nullptr) {
        c->line->port->HangUp(c->dialer->Connected());
    }
    EndCall(c);
    return 0;
}

long lineClose(HLINE line) {
    Provider& p = TheProvider();
    auto it = p.lines.find(line);
    if (it == p.lines.end()) {
        return kLineErrFailed;
    }
    Line* l = it->second.get();
    if (l->call != nullptr) {
        // A call still up is dropped; a request not answered yet is cancelled
        // and its handle never written.
        lineDrop(l->call->handle);
    }
    p.lines.erase(it);
    return 0;
}

void lineWaitForHangUps() {
    ModemPort::WaitForHangUps();
}
