#include "NameLookups.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include <netdb.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Names being looked up at once; a user retrying one name never gets past
// one, so this is met only by many names while the name server is dead.
constexpr size_t kMaxProcessLookups = 8;

int SystemResolve(const std::string& host, addrinfo** list) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    return ::getaddrinfo(host.c_str(), nullptr, &hints, list);
}

}  // namespace

NameLookup::NameLookup() : FDone(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

NameLookup::~NameLookup() {
    if (FList != nullptr) {
        ::freeaddrinfo(FList);
    }
}

struct NameLookups::Shared {
    Resolver resolve;
    std::mutex lock;
    std::map<std::string, std::shared_ptr<NameLookup>> running;  // under `lock`
};

NameLookups::NameLookups(Resolver resolve, size_t maxRunning)
    : FShared(std::make_shared<Shared>()), FMaxRunning(maxRunning) {
    FShared->resolve = std::move(resolve);
}

NameLookups& NameLookups::Process() {
    static NameLookups lookups(SystemResolve, kMaxProcessLookups);
    return lookups;
}

size_t NameLookups::Running() const {
    std::lock_guard<std::mutex> guard(FShared->lock);
    return FShared->running.size();
}

std::shared_ptr<const NameLookup> NameLookups::Start(const std::string& host) {
    std::lock_guard<std::mutex> guard(FShared->lock);
    if (const auto found = FShared->running.find(host); found != FShared->running.end()) {
        return found->second;
    }
    if (FShared->running.size() >= FMaxRunning) {
        return nullptr;
    }
    auto lookup = std::make_shared<NameLookup>();
    if (!lookup->FDone.Valid()) {
        throw std::system_error(errno, std::generic_category());
    }
    // The thread ends the look-up under the same lock, so it is started
    // (and may fail) before the look-up is listed.
    std::thread([shared = FShared, lookup, host] {
        lookup->FStatus = shared->resolve(host, &lookup->FList);
        lookup->FReady.store(true, std::memory_order_release);
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t w = ::write(lookup->FDone.Handle(), &one, sizeof one);
        std::lock_guard<std::mutex> done(shared->lock);
        if (const auto it = shared->running.find(host);
            it != shared->running.end() && it->second == lookup) {
            shared->running.erase(it);
        }
    }).detach();
    FShared->running.emplace(host, lookup);
    return lookup;
}
