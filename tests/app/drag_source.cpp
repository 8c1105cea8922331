// A drag source such as a file manager is: a small window that, on a mouse press, drags the
// files named on its command line as file URLs. It stays alive a few seconds after the drag
// ends, because the drop target fetches the data from it after the drop.
//
//   zx_drag_source X Y FILE...   (window at X, Y; prints "dropped <action>" when the drag ends)

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

class DragSource : public QWidget {
  public:
    explicit DragSource(QList<QUrl> urls) : urls_(std::move(urls)) {
        setWindowTitle(QStringLiteral("zx drag source"));
        setFixedSize(120, 120);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::darkGreen);
        setPalette(p);
        setAutoFillBackground(true);
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (dragged_ || event->button() != Qt::LeftButton) return;
        dragged_ = true;
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls(urls_);
        drag->setMimeData(data);
        std::printf("dragging\n");
        std::fflush(stdout);
        const Qt::DropAction action =
            drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
        std::printf("dropped %d\n", static_cast<int>(action));
        std::fflush(stdout);
        QTimer::singleShot(5000, qApp, &QCoreApplication::quit);
    }

  private:
    QList<QUrl> urls_;
    bool dragged_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: zx_drag_source X Y FILE...\n");
        return 2;
    }
    QList<QUrl> urls;
    for (qsizetype i = 3; i < args.size(); ++i) urls << QUrl::fromLocalFile(args[i]);
    DragSource source(urls);
    source.move(args[1].toInt(), args[2].toInt());
    source.show();
    // Never outlive a test that went wrong.
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
