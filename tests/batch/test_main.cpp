// The batch run's tests draw real watermarks: they need fonts (a QGuiApplication) and an open
// imaging session, as the window provides.
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
