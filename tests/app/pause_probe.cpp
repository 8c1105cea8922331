// Measures how long the window's event loop stops answering during a run: a timer every
// 10 ms records the largest gap between its ticks while the window marks the pictures given
// on the command line (or those in /usr/share/backgrounds). Not a test: the figure depends on
// the machine.
//
//   zx_app_pause_probe [FILE...]    prints the row count, the run's time and the longest gap

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/file_drop.h"
#include "app/main_window.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zx::PrepareProcess();
    QStringList files = QCoreApplication::arguments().mid(1);
    if (files.isEmpty()) {
        const QDir backgrounds(QStringLiteral("/usr/share/backgrounds"));
        for (const QString& name : backgrounds.entryList({"*.jpg", "*.png"}, QDir::Files)) {
            files << backgrounds.filePath(name);
        }
    }
    std::vector<zx::Utf8Text> paths;
    for (const QString& file : files) paths.push_back(file.toStdString());

    zx::MainWindow window;
    window.show();
    zx::OnFilesDropped(window.Operations(), zx::BuildDroppedFilesText(paths));
    window.findChild<QLineEdit*>(QStringLiteral("编辑框1"))
        ->setText(QStringLiteral("水印 Zandolex 2026"));

    QElapsedTimer clock;
    qint64 lastTick = -1;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0) longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    // Dismisses the closing message and ends the measurement.
    QString message;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box != nullptr && box->isVisible()) {
                message = box->text();
                ticker.stop();
                box->buttons().front()->click();
            }
        }
    });

    QTimer::singleShot(0, [&] {
        clock.start();
        ticker.start();
        closer.start();
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("按钮1")), Qt::LeftButton);
        const qint64 total = clock.elapsed();
        std::printf("rows %lld, run %lld ms, longest pause of the event loop %lld ms\n",
                    static_cast<long long>(paths.size()), static_cast<long long>(total),
                    static_cast<long long>(longestGap));
        std::printf("message: %s\n", message.toStdString().c_str());
        window.close();
    });
    return app.exec();
}
