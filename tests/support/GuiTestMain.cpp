// Entry point of the GUI tests: a QApplication on the offscreen platform
// (unless another is asked for) and a private, empty settings folder so no
// test sees the user's own store.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    QTemporaryDir configHome;
    if (!configHome.isValid()) {
        return 2;
    }
    setenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit().constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // as the program: numbers with a point
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
