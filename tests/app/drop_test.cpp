// Files dragged onto the window, delivered through the window's own routing of drag events
// (the way the platform hands a real drag to it).

#include <gtest/gtest.h>

#include <QDropEvent>
#include <QGroupBox>
#include <QMimeData>
#include <QTableWidget>
#include <QTest>
#include <QUrl>
#include <QWindow>
#include <memory>

#include "app/file_drop.h"
#include "app/main_window.h"

namespace zx {
namespace {

constexpr Qt::DropActions kAll = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

std::unique_ptr<QMimeData> FileList(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

class DropTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.reset();  // one window at a time, as in the program
        window = std::make_unique<MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    struct Outcome {
        bool enterAccepted = false;
        Qt::DropAction enterAction = Qt::IgnoreAction;
        bool dropAccepted = false;
        Qt::DropAction dropAction = Qt::IgnoreAction;
    };

    // Enter, move and drop at `at` (window coordinates) as the platform sends them.
    Outcome Drag(const QMimeData& data, QPoint at, Qt::KeyboardModifiers keys,
                 Qt::DropActions allowed, Qt::KeyboardModifiers keysAtDrop) {
        QWindow* handle = window->windowHandle();
        Outcome outcome;
        QDragEnterEvent enter(at, allowed, &data, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(handle, &enter);
        outcome.enterAccepted = enter.isAccepted();
        outcome.enterAction = enter.isAccepted() ? enter.dropAction() : Qt::IgnoreAction;
        QDragMoveEvent move(at, allowed, &data, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(handle, &move);
        QDropEvent drop(at, allowed, &data, Qt::LeftButton, keysAtDrop);
        drop.setAccepted(false);
        QCoreApplication::sendEvent(handle, &drop);
        outcome.dropAccepted = drop.isAccepted();
        outcome.dropAction = drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
        return outcome;
    }

    QPoint ListPoint() const { return window->List()->geometry().center(); }

    std::vector<std::pair<std::string, std::string>> Rows() const {
        std::vector<std::pair<std::string, std::string>> rows;
        WindowOperations& ops = window->Operations();
        for (std::int32_t r = 0; r < ops.ListRowCount(); ++r) {
            rows.emplace_back(ops.ReadListCell(r, 0), ops.ReadListCell(r, 1));
        }
        return rows;
    }

    std::unique_ptr<MainWindow> window;
};

TEST_F(DropTest, OnlyFileListsDroppedOnTheListAreTaken) {
    const QStringList files = {"/pics/a.png", "/pics/深 b.jpg", "/pics/c"};
    auto text = std::make_unique<QMimeData>();
    text->setText("/pics/a.png");
    auto link = std::make_unique<QMimeData>();
    link->setUrls({QUrl("https://example.com/a.png")});
    auto html = std::make_unique<QMimeData>();
    html->setHtml("<a href=\"file:///pics/a.png\">a</a>");
    auto mixed = std::make_unique<QMimeData>();
    mixed->setUrls({QUrl::fromLocalFile("/pics/a.png"), QUrl("http://example.com/b.png")});
    auto empty = std::make_unique<QMimeData>();
    empty->setUrls({});

    enum Where { List, Settings, Background };
    struct Case {
        const char* what;
        const QMimeData* data;
        Where where;
        Qt::KeyboardModifiers keys;
        Qt::DropActions allowed;
        Qt::DropAction effect;  // IgnoreAction: refused, no row
        Qt::KeyboardModifiers keysAtDrop;
    };
    const auto fileList = FileList(files);
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers both = Qt::ControlModifier | Qt::ShiftModifier;
    const Case cases[] = {
        {"files, no keys", fileList.get(), List, none, kAll, Qt::CopyAction, none},
        {"no keys, no copy", fileList.get(), List, none, Qt::MoveAction | Qt::LinkAction,
         Qt::MoveAction, none},
        {"no keys, link only", fileList.get(), List, none, Qt::LinkAction, Qt::LinkAction, none},
        {"no keys, nothing allowed", fileList.get(), List, none, Qt::IgnoreAction, Qt::IgnoreAction,
         none},
        {"ctrl", fileList.get(), List, ctrl, kAll, Qt::CopyAction, ctrl},
        {"ctrl, no copy", fileList.get(), List, ctrl, Qt::MoveAction | Qt::LinkAction,
         Qt::IgnoreAction, ctrl},
        {"shift", fileList.get(), List, shift, kAll, Qt::MoveAction, shift},
        {"shift, no move", fileList.get(), List, shift, Qt::CopyAction | Qt::LinkAction,
         Qt::IgnoreAction, shift},
        {"ctrl+shift", fileList.get(), List, both, kAll, Qt::IgnoreAction, both},
        {"ctrl+shift pressed before the drop", fileList.get(), List, none, kAll, Qt::IgnoreAction,
         both},
        {"plain text", text.get(), List, none, kAll, Qt::IgnoreAction, none},
        {"web link", link.get(), List, none, kAll, Qt::IgnoreAction, none},
        {"html", html.get(), List, none, kAll, Qt::IgnoreAction, none},
        {"files mixed with a web link", mixed.get(), List, none, kAll, Qt::IgnoreAction, none},
        {"an empty url list", empty.get(), List, none, kAll, Qt::IgnoreAction, none},
        {"files on the settings panel", fileList.get(), Settings, none, kAll, Qt::IgnoreAction,
         none},
        {"files beside the list", fileList.get(), Background, none, kAll, Qt::IgnoreAction, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        const QPoint at = c.where == List       ? ListPoint()
                          : c.where == Settings ? QPoint(700, 380)
                                                : QPoint(592, 200);
        const bool accepted = c.effect != Qt::IgnoreAction;
        const Outcome outcome = Drag(*c.data, at, c.keys, c.allowed, c.keysAtDrop);
        if (c.keys == c.keysAtDrop) {
            EXPECT_EQ(outcome.enterAccepted, accepted);
            EXPECT_EQ(outcome.enterAction, c.effect);
        }
        EXPECT_EQ(outcome.dropAccepted, accepted);
        EXPECT_EQ(outcome.dropAction, c.effect);
        if (accepted) {
            const std::vector<std::pair<std::string, std::string>> expected = {
                {"1", "/pics/a.png"}, {"2", "/pics/深 b.jpg"}, {"3", "/pics/c"}};
            EXPECT_EQ(Rows(), expected);
        } else {
            EXPECT_TRUE(Rows().empty());
        }
    }
}

TEST_F(DropTest, OrdinalsStartAgainWithEveryDrop) {
    const QPoint at = ListPoint();
    const auto first = FileList({"/a/1.png", "/a/2.png", "/a/3.png"});
    const auto second = FileList({"/b/x.png", "/a/1.png"});
    const auto single = FileList({"/c/only.gif"});
    Drag(*first, at, Qt::NoModifier, kAll, Qt::NoModifier);
    Drag(*second, at, Qt::NoModifier, kAll, Qt::NoModifier);
    Drag(*single, at, Qt::NoModifier, kAll, Qt::NoModifier);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"1", "/a/1.png"}, {"2", "/a/2.png"}, {"3", "/a/3.png"},
        {"1", "/b/x.png"}, {"2", "/a/1.png"}, {"1", "/c/only.gif"}};
    EXPECT_EQ(Rows(), expected);
}

TEST_F(DropTest, FoldersRootLongAndNonUtf8PathsAreListedAsTheyCome) {
    const QString longPath = "/p/" + QString(300, QChar('n')) + "/长.png";
    auto data = FileList({"/pics", "/", longPath, "/pics"});
    // A name in GBK bytes ("测试"), as unpacked from an archive made on another system.
    QList<QUrl> urls = data->urls();
    urls << QUrl::fromEncoded("file:///pics/%B2%E2%CA%D4.png");
    data->setUrls(urls);
    Drag(*data, ListPoint(), Qt::NoModifier, kAll, Qt::NoModifier);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"1", "/pics"},
        {"2", "/"},
        {"3", longPath.toStdString()},
        {"4", "/pics"},
        {"5", "/pics/\xB2\xE2\xCA\xD4.png"}};
    EXPECT_EQ(Rows(), expected);
}

TEST(DroppedFilesText, OnePathAloneOthersEachEndedByCrLf) {
    EXPECT_EQ(BuildDroppedFilesText({}), "");
    EXPECT_EQ(BuildDroppedFilesText({"/a.png"}), "/a.png");
    EXPECT_EQ(BuildDroppedFilesText({"/a.png", "/b c.png"}), "/a.png\r\n/b c.png\r\n");
}

TEST(DroppedFilesText, SplitsAtEveryCrLf) {
    struct Case {
        std::string text;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"", {}},
        {"/a.png", {"/a.png"}},
        {"/a.png\r\n", {"/a.png"}},
        {"/a\r\n/b\r\n", {"/a", "/b"}},
        {"/a\r\n/b", {"/a", "/b"}},
        {"/a\r\n\r\n/b\r\n", {"/a", "", "/b"}},
        {"/a\n/b\r/c", {"/a\n/b\r/c"}},  // lone LF or CR do not split
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitDroppedFilesText(c.text), c.pieces) << c.text;
    }
}

}  // namespace
}  // namespace zx
