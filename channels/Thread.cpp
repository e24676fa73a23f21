#include "Thread.h"

#include "win_error.h"

#include <system_error>

Thread::~Thread() {
    Join();
}

void Thread::Start() {
    Join();
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        throw win_error(e.code().value());
    }
}

void Thread::Join() {
    if (FThread.joinable()) {
        FThread.join();
    }
}
