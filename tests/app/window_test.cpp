// The window as the user meets it: controls, keyboard, window operations.

#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QWindow>
#include <climits>
#include <memory>

#include "app/main_window.h"
#include "platform/gdiplus.h"
#include "tests/app/app_test_support.h"

namespace zx {
namespace {

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.reset();  // one window at a time, as in the program
        window = std::make_unique<MainWindow>();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <class Widget = QWidget>
    Widget* Control(const char* name) {
        return window->findChild<Widget*>(QString::fromUtf8(name));
    }

    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowTest, EveryControlSitsAtItsRectangleInsideItsParent) {
    struct Row {
        const char* name;
        const char* parent;
        const char* className;
        QRect rect;
        const char* text;
    };
    const Row table[] = {
        {"超级列表框1", "MainWindow", "QTableWidget", {8, 8, 576, 416}, ""},
        {"分组框1", "MainWindow", "QGroupBox", {600, 8, 240, 416}, "设置"},
        {"单选框1", "分组框1", "QRadioButton", {16, 32, 96, 32}, "文字水印"},
        {"单选框2", "分组框1", "QRadioButton", {133, 32, 96, 32}, "图片水印"},
        {"分组框2", "分组框1", "QGroupBox", {20, 104, 200, 112}, "文字水印"},
        {"标签1", "分组框2", "QLabel", {9, 24, 48, 32}, "内容："},
        {"编辑框1", "分组框2", "QLineEdit", {60, 24, 128, 32}, ""},
        {"按钮1", "分组框2", "QPushButton", {12, 68, 176, 32}, "确定"},
        {"分组框3", "分组框1", "QGroupBox", {20, 240, 200, 112}, "图片水印"},
        {"标签2", "分组框3", "QLabel", {8, 24, 44, 32}, "路径："},
        {"编辑框2", "分组框3", "QLineEdit", {60, 24, 128, 32}, ""},
        {"按钮2", "分组框3", "QPushButton", {8, 69, 180, 32}, "确定"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        QWidget* control = Control(row.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->inherits(row.className));
        ASSERT_NE(control->parentWidget(), nullptr);
        EXPECT_EQ(control->parentWidget()->objectName().toStdString(), row.parent);
        EXPECT_EQ(control->geometry(), row.rect);
        EXPECT_TRUE(control->isVisible());
        EXPECT_TRUE(control->isEnabled());
        QString text;
        if (auto* group = qobject_cast<QGroupBox*>(control)) text = group->title();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) text = button->text();
        if (auto* label = qobject_cast<QLabel*>(control)) text = label->text();
        if (auto* edit = qobject_cast<QLineEdit*>(control)) text = edit->text();
        EXPECT_EQ(text.toStdString(), row.text);
    }
    // Every control of the window is in the table, and so is the drop object.
    QObject* drop = window->findChild<QObject*>(QStringLiteral("拖放对象1"));
    ASSERT_NE(drop, nullptr);
    EXPECT_FALSE(drop->isWidgetType());
    EXPECT_EQ(drop->parent(), window.get());
}

TEST_F(WindowTest, WindowHasItsTitleSizePlaceAndFrame) {
    EXPECT_EQ(window->windowTitle().toStdString(),
              "ZandolexV1.0   by：Tivernak      使用说明：拖放图片到列表框（支持批量）");
    // With a frame of 2 pixels each side the outer size stays 854 x 472.
    const QMargins frame = window->windowHandle()->frameMargins();
    ASSERT_EQ(frame, QMargins(2, 2, 2, 2));
    EXPECT_EQ(window->frameGeometry().size(), QSize(kWindowWidth, kWindowHeight));
    EXPECT_EQ(window->size(), QSize(850, 468));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(screen.size(), QSize(1366, 768));
    EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(256, 148));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window->palette().color(QPalette::Window), window->palette().color(QPalette::Button));
    const QList<QSize> iconSizes = window->windowIcon().availableSizes();
    for (int size : {16, 32, 48, 64, 128}) {
        EXPECT_TRUE(iconSizes.contains(QSize(size, size))) << size;
    }
}

TEST(WindowPlacement, CentresOnTheWholeScreenTruncatingTowardZero) {
    struct Case {
        QRect screen;
        QPoint expected;
    };
    const Case cases[] = {
        {{0, 0, 1920, 1080}, {533, 304}},
        {{0, 0, 1366, 768}, {256, 148}},
        {{0, 0, 1025, 601}, {85, 64}},   // odd remainders are dropped
        {{0, 0, 800, 400}, {-27, -36}},  // a smaller screen: truncation toward zero
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CentredWindowPosition(c.screen), c.expected) << c.screen.width();
    }
}

TEST_F(WindowTest, ControlsHaveTheirSettings) {
    auto* list = Control<QTableWidget>("超级列表框1");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->rowCount(), 0);
    ASSERT_EQ(list->columnCount(), 2);
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QStringLiteral("序号"));
    EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QStringLiteral("文件"));
    EXPECT_EQ(list->columnWidth(0), 70);
    EXPECT_EQ(list->columnWidth(1), 500);
    EXPECT_TRUE(list->horizontalHeader()->isVisible());
    EXPECT_FALSE(list->horizontalHeader()->sectionsClickable());
    EXPECT_FALSE(list->horizontalHeader()->sectionsMovable());
    EXPECT_FALSE(list->isSortingEnabled());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->frameShadow(), QFrame::Plain);
    EXPECT_EQ(list->lineWidth(), 1);
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(Qt::white));

    for (const char* name : {"编辑框1", "编辑框2"}) {
        auto* edit = Control<QLineEdit>(name);
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_EQ(edit->maxLength(), INT_MAX) << name;
        EXPECT_FALSE(edit->hasFrame()) << name;  // drawn as a plain one-pixel border
        EXPECT_FALSE(edit->isReadOnly()) << name;
        EXPECT_EQ(edit->echoMode(), QLineEdit::Normal) << name;
    }
    for (const char* name : {"按钮1", "按钮2"}) {
        auto* button = Control<QPushButton>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_FALSE(button->isDefault()) << name;
        EXPECT_FALSE(button->autoDefault()) << name;
    }
    for (const char* name : {"分组框1", "分组框2", "分组框3"}) {
        auto* group = Control<QGroupBox>(name);
        ASSERT_NE(group, nullptr) << name;
        EXPECT_EQ(group->font().pixelSize(), 18) << name;
        EXPECT_EQ(group->font().weight(), QFont::Normal) << name;
    }
    // The caption's font stays with the caption: the controls keep the default GUI font.
    EXPECT_EQ(Control("编辑框1")->font().pixelSize(), QApplication::font().pixelSize());
    EXPECT_EQ(Control("单选框1")->font().pointSizeF(), QApplication::font().pointSizeF());
    auto* progress = Control<QProgressBar>("进度条1");
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(WindowTest, RadioButtonsFormOneExclusivePair) {
    auto* text = Control<QRadioButton>("单选框1");
    auto* image = Control<QRadioButton>("单选框2");
    EXPECT_TRUE(text->isChecked());
    EXPECT_FALSE(image->isChecked());
    QTest::mouseClick(image, Qt::LeftButton);
    EXPECT_FALSE(text->isChecked());
    EXPECT_TRUE(image->isChecked());
    QTest::mouseClick(text, Qt::LeftButton);
    EXPECT_TRUE(text->isChecked());
    EXPECT_FALSE(image->isChecked());
    // Keyboard: an arrow key moves the check within the pair.
    text->setFocus();
    QTest::keyClick(text, Qt::Key_Right);
    EXPECT_TRUE(image->isChecked());
    EXPECT_FALSE(text->isChecked());
}

TEST_F(WindowTest, EscapeClosesTheWindowFromTheListAndFromAnEditBox) {
    for (const char* name : {"超级列表框1", "编辑框1", "编辑框2", "按钮2", "单选框2"}) {
        SCOPED_TRACE(name);
        SetUp();
        window->Operations().AppendListRow();  // rows listed: still no question
        QWidget* control = Control(name);
        control->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            QTest::keyClicks(edit, QStringLiteral("abc"));
            edit->selectAll();
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_FALSE(window->isVisible());
        EXPECT_TRUE(window->Closed());
        EXPECT_TRUE(window->Operations().WindowClosed());
        EXPECT_FALSE(GdiplusSessionOpen());
    }
}

TEST_F(WindowTest, EscapeWithModifiersDoesNotClose) {
    Control("编辑框1")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape, Qt::ControlModifier);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->Closed());
}

TEST_F(WindowTest, TabVisitsExactlyTheFocusableControls) {
    const std::vector<std::string> order = {"超级列表框1", "单选框1", "单选框2", "编辑框1",
                                            "按钮1",       "编辑框2", "按钮2"};
    window->Operations().AppendListRow();
    Control(order[0].c_str())->setFocus();
    std::vector<std::string> forward{QApplication::focusWidget()->objectName().toStdString()};
    for (std::size_t i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        forward.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    std::vector<std::string> expected = order;
    expected.push_back(order[0]);  // round again
    EXPECT_EQ(forward, expected);

    std::vector<std::string> backward{QApplication::focusWidget()->objectName().toStdString()};
    for (std::size_t i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    std::vector<std::string> reversed(expected.rbegin(), expected.rend());
    EXPECT_EQ(backward, reversed);
}

TEST_F(WindowTest, EnterAndF1DoNothingAtWindowLevel) {
    int clicks = 0;
    for (const char* name : {"按钮1", "按钮2"}) {
        QObject::connect(Control<QPushButton>(name), &QPushButton::clicked, [&] { ++clicks; });
    }
    window->Operations().AppendListRow();
    for (const char* name :
         {"超级列表框1", "单选框1", "单选框2", "编辑框1", "按钮1", "编辑框2", "按钮2"}) {
        SCOPED_TRACE(name);
        QWidget* control = Control(name);
        control->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_F1}) {
            QTest::keyClick(control, key);
            EXPECT_EQ(QApplication::focusWidget(), control);
        }
    }
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(Control<QRadioButton>("单选框1")->isChecked());
}

TEST_F(WindowTest, ListOperationsReadAppendAndWriteCells) {
    WindowOperations& ops = window->Operations();
    EXPECT_EQ(ops.ListRowCount(), 0);
    EXPECT_EQ(ops.ReadListCell(0, 0), "");
    EXPECT_EQ(ops.ReadListCell(0, 1), "");
    for (std::int32_t n = 0; n < 3; ++n) EXPECT_EQ(ops.AppendListRow(), n);
    EXPECT_EQ(ops.ListRowCount(), 3);
    EXPECT_EQ(ops.ReadListCell(2, 1), "");  // a new row is empty in every column

    const std::string longPath = "/深/" + std::string(1000, 'x') + ".png";
    ops.WriteListCell(1, 0, "2");
    ops.WriteListCell(1, 1, longPath);
    EXPECT_EQ(ops.ReadListCell(1, 0), "2");
    EXPECT_EQ(ops.ReadListCell(1, 1), longPath);
    // Cells that do not exist read as empty and are left alone.
    ops.WriteListCell(3, 0, "x");
    ops.WriteListCell(-1, 0, "x");
    ops.WriteListCell(0, 2, "x");
    EXPECT_EQ(ops.ListRowCount(), 3);
    EXPECT_EQ(window->List()->columnCount(), 2);
    for (auto [row, column] : {std::pair{3, 0}, {-1, 0}, {0, 2}, {0, -1}}) {
        EXPECT_EQ(ops.ReadListCell(row, column), "") << row << "," << column;
    }
    // Rows cannot be edited in place.
    EXPECT_FALSE(window->List()->item(1, 1)->flags().testFlag(Qt::ItemIsEditable));
}

TEST_F(WindowTest, ControlOperationsReadTheBoxesAndRadios) {
    WindowOperations& ops = window->Operations();
    EXPECT_EQ(ops.ReadControlText(EditBox::WatermarkText), "");
    EXPECT_EQ(ops.ReadControlText(EditBox::WatermarkPath), "");
    Control("编辑框1")->setFocus();
    QTest::keyClicks(Control("编辑框1"), QStringLiteral("  Z "));
    Control<QLineEdit>("编辑框1")->insert(
        QStringLiteral("水印 "));  // typed through an input method
    QTest::keyClicks(Control("编辑框2"), QStringLiteral("wm.png"));
    EXPECT_EQ(ops.ReadControlText(EditBox::WatermarkText), "  Z 水印 ");
    EXPECT_EQ(ops.ReadControlText(EditBox::WatermarkPath), "wm.png");
    EXPECT_TRUE(ops.IsRadioChecked(RadioButton::TextWatermark));
    EXPECT_FALSE(ops.IsRadioChecked(RadioButton::ImageWatermark));
    QTest::mouseClick(Control("单选框2"), Qt::LeftButton);
    EXPECT_FALSE(ops.IsRadioChecked(RadioButton::TextWatermark));
    EXPECT_TRUE(ops.IsRadioChecked(RadioButton::ImageWatermark));
}

TEST_F(WindowTest, ShowMessageIsAnOwnerlessApplicationModalBoxWithOneButton) {
    test::MessageCatcher catcher;
    bool windowBlocked = false;
    catcher.onMessage = [&] { windowBlocked = QApplication::activeModalWidget() != nullptr; };
    window->Operations().ShowMessage("完成\n\n<b>not markup</b>");
    ASSERT_EQ(catcher.Messages().size(), 1u);
    const test::CaughtMessage& box = catcher.Messages().front();
    EXPECT_EQ(box.title, QStringLiteral("信息："));
    EXPECT_EQ(box.text, QStringLiteral("完成\n\n<b>not markup</b>"));
    EXPECT_EQ(box.buttons, QStringList{QStringLiteral("确定")});
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.modality, Qt::ApplicationModal);
    EXPECT_FALSE(box.hasParent);
    EXPECT_TRUE(windowBlocked);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // gone once dismissed
}

TEST_F(WindowTest, PumpDispatchesWhatIsWaitingAndLeavesQuitToTheLoop) {
    WindowOperations& ops = window->Operations();
    int fired = 0;
    QTimer::singleShot(0, [&] { ++fired; });
    ops.PumpPendingEvents();
    EXPECT_EQ(fired, 1);

    // A quit requested while a handler pumps ends the loop only after the handler returns.
    bool handlerFinished = false;
    QTimer::singleShot(0, [&] {
        QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
        ops.PumpPendingEvents();
        handlerFinished = true;
    });
    // Should the quit be lost, this ends the loop with a failing code instead of hanging.
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(handlerFinished);
}

TEST_F(WindowTest, ProgressBarShowsRowsDoneOnlyDuringARun) {
    auto* progress = Control<QProgressBar>("进度条1");
    auto* settings = Control("分组框1");
    auto* imageGroup = Control("分组框3");
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->parentWidget(), settings);
    // In the free space of 分组框1 below 分组框3.
    EXPECT_GE(progress->geometry().top(), imageGroup->geometry().bottom());
    EXPECT_LE(progress->geometry().bottom(), settings->height() - 1);
    window->Operations().ShowProgress(2, 5);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->value(), 2);
    EXPECT_EQ(progress->maximum(), 5);
    window->Operations().HideProgress();
    EXPECT_FALSE(progress->isVisible());
}

}  // namespace
}  // namespace zx
