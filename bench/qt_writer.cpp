// The reference job done with Qt alone at its defaults: QImageReader loads the picture, a
// QPainter draws the text or the scaled mark on a 32-bit ARGB copy, QImageWriter writes a
// PNG. Nothing of ours takes part, so this measures what plain Qt costs for the same job.
//
//   zx-bench-qt (--text TEXT [--font FAMILY] [--size PX] | --image PATH [--scale P])
//               --output-dir DIR FILE...
// Writes DIR/<base name>.png; exit status 0 when every file was written, 1 otherwise.

#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    // Fonts need a platform; the bench runs without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString text, markPath, outDir, family = QStringLiteral("Noto Serif CJK SC");
    int pixelSize = 100, scale = 30;
    QStringList files;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--text" && hasValue) {
            text = args[++i];
        } else if (a == "--font" && hasValue) {
            family = args[++i];
        } else if (a == "--size" && hasValue) {
            pixelSize = args[++i].toInt();
        } else if (a == "--image" && hasValue) {
            markPath = args[++i];
        } else if (a == "--scale" && hasValue) {
            scale = args[++i].toInt();
        } else if (a == "--output-dir" && hasValue) {
            outDir = args[++i];
        } else {
            files << a;
        }
    }
    if (files.isEmpty() || outDir.isEmpty() || text.isEmpty() == markPath.isEmpty()) {
        std::fprintf(stderr, "usage: zx-bench-qt (--text T | --image P) --output-dir D FILE...\n");
        return 2;
    }

    QImage mark;
    if (!markPath.isEmpty()) {
        QImage full(markPath);
        if (full.isNull()) {
            std::fprintf(stderr, "%s: cannot read the mark\n", qPrintable(markPath));
            return 1;
        }
        mark = full.scaled(full.width() * scale / 100, full.height() * scale / 100,
                           Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    QFont font(family);
    font.setPixelSize(pixelSize);

    int failed = 0;
    for (const QString& file : files) {
        QImageReader reader(file);
        reader.setAutoTransform(true);
        QImage canvas = reader.read();
        if (canvas.isNull()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(reader.errorString()));
            ++failed;
            continue;
        }
        canvas.convertTo(QImage::Format_ARGB32_Premultiplied);
        {
            QPainter painter(&canvas);
            if (mark.isNull()) {
                painter.setRenderHint(QPainter::TextAntialiasing);
                painter.setFont(font);
                painter.setPen(Qt::black);
                painter.drawText(QRectF(100, 100, 0, 0),
                                 Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
            } else {
                painter.drawImage(100, 100, mark);
            }
        }
        const QString out = outDir + '/' + QFileInfo(file).completeBaseName() + ".png";
        QImageWriter writer(out, "png");
        if (!writer.write(canvas)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(out), qPrintable(writer.errorString()));
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
