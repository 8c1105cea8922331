// The window's tests run in one offscreen application.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    // An offscreen screen of a common size with window frames, so the window fits on it and
    // its frame is known, as under a window manager.
    QTemporaryDir config;
    const QString screens = config.filePath("screens.json");
    QFile file(screens);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write(R"({"windowFrameMargins": true, "screens": [{"name": "screen", "x": 0, "y": 0,
        "width": 1366, "height": 768, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.toLocal8Bit());
    QApplication app(argc, argv);
    // Tests close windows one after another; the application itself stays.
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
