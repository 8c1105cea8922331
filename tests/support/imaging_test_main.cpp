// A test main for suites that draw real pictures: fonts need a QGuiApplication (the offscreen
// platform needs no display) and the imaging calls need an open session, as the window has.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "platform/gdiplus.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    std::uintptr_t token = 0;
    const zx::GdiplusStartupInput input;
    zx::GdiplusStartup(&token, &input, nullptr);
    const int result = RUN_ALL_TESTS();
    zx::GdiplusShutdown(token);
    return result;
}
