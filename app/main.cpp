// zandolex: the window that puts a text or picture watermark on the pictures dropped on it.

#include <QApplication>

#include "app/main_window.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zx::PrepareProcess();
    zx::MainWindow window;  // made hidden; its creation attaches the drop target and opens
                            // the imaging session
    window.show();
    return app.exec();
}
