#pragma once

#include "FakeChanel.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <memory>
#include <utility>

// Removes the test binary's settings file, so every test starts from the
// defaults.
inline void ResetSettingsStore() {
    QFile::remove(QString::fromStdString(SettingsStore::FilePath()));
}

inline void StoreInteger(const char* key, const char* name, int value) {
    SettingsStore store;
    store.WriteInteger(key, name, value);
    ASSERT_TRUE(store.Sync());
}

// Drives one task over a fake channel, tick by tick.
template <class Task>
class TaskHarness {
public:
    template <class... Args>
    explicit TaskHarness(Args&&... args)
        : task(std::make_unique<WithFakeChanel<Task>>(true, std::forward<Args>(args)...)) {}

    void Tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            task->Tick();
        }
    }

    // Runs steps 0 and 1 and reports the channel connected: the task is in
    // step 2 and sends its first request on the next tick (or when the test
    // runs the posted events, as an event loop would at once).
    void Connect() {
        Tick(2);
        ASSERT_NE(task->fake, nullptr);
        task->fake->InjectState(csConnecting);
        task->fake->InjectState(csConnected);
        ASSERT_EQ(task->GetStep(), 2);
    }

    FakeChanel& Chanel() { return *task->fake; }
    size_t SentCount() { return task->fake ? task->fake->sent.size() : 0; }
    const FakeChanel::Packet& LastSent() { return task->fake->sent.back(); }

    // Answers the request of the current step.
    void Answer(const std::vector<uint8_t>& bytes) {
        Chanel().InjectAnswer(bytes, task->GetStep());
    }

    // Sends the current step's request on the next tick and answers it.
    void TickAndAnswer(const std::vector<uint8_t>& bytes) {
        Tick();
        Answer(bytes);
    }

    std::unique_ptr<WithFakeChanel<Task>> task;
};
