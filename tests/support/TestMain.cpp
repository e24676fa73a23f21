// Entry point of every test binary: a QCoreApplication (timers, posted
// events) and a private, empty settings folder so no test sees the user's
// own store.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdlib>

int main(int argc, char** argv) {
    QTemporaryDir configHome;
    if (!configHome.isValid()) {
        return 2;
    }
    setenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit().constData(), 1);
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
