#include "app/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <climits>

#include "app/file_drop.h"
#include "app/startup.h"
#include "batch/run_batch.h"

// Resources of a static library must be registered by name, from the global namespace.
static void RegisterAppResources() {
    Q_INIT_RESOURCE(app_resources);
}

namespace zx {

namespace {

const char kTitle[] = "ZandolexV1.0   by：Tivernak      使用说明：拖放图片到列表框（支持批量）";

// The client area must keep every control whole: 分组框1 ends at x 840, the list at y 424.
constexpr int kMinClientWidth = 840;
constexpr int kMinClientHeight = 424;

// A font that children keep even where their parent's font differs.
QFont ExplicitFont(QFont font) {
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}

QFont GroupCaptionFont() {
    QFont font = QApplication::font();
    font.setPixelSize(18);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return ExplicitFont(font);
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const char* text, QRect rect) {
    auto* group = new QGroupBox(QString::fromUtf8(text), parent);
    group->setObjectName(QString::fromUtf8(name));
    group->setGeometry(rect);
    group->setAlignment(Qt::AlignLeft);
    group->setFont(GroupCaptionFont());
    // The caption sits on the frame's top line, at the left, as on a classic group frame.
    group->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid #a0a0a0; margin-top: 11px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 7px; padding: 0px 2px; color: black; }"));
    group->setFocusPolicy(Qt::NoFocus);
    return group;
}

template <class Control>
Control* Place(Control* control, const char* name, QRect rect) {
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(rect);
    control->setFont(ExplicitFont(QApplication::font()));
    return control;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, QRect rect) {
    auto* label = Place(new QLabel(QString::fromUtf8(text), parent), name, rect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setWordWrap(false);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect rect) {
    auto* edit = Place(new QLineEdit(parent), name, rect);
    // No length limit that a user can reach.
    edit->setMaxLength(INT_MAX);
    edit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A one-pixel border, no sunken edge: black text on white.
    edit->setFrame(false);
    edit->setStyleSheet(
        QStringLiteral("QLineEdit { border: 1px solid black; background: white; color: black; }"));
    edit->setFocusPolicy(Qt::StrongFocus);
    return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, QRect rect) {
    auto* button = Place(new QPushButton(QStringLiteral("确定"), parent), name, rect);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

// Qt makes an exclusive pair one Tab stop, the focused button; here each radio button keeps
// its own stop, and the arrow keys still move the check within the pair.
class TabStopRadioButton : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;

  protected:
    void focusInEvent(QFocusEvent* event) override {
        QRadioButton::focusInEvent(event);
        for (QRadioButton* radio :
             parentWidget()->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly)) {
            radio->setFocusPolicy(Qt::StrongFocus);
        }
    }
};

QRadioButton* MakeRadio(QWidget* parent, const char* name, const char* text, QRect rect) {
    auto* radio = Place(new TabStopRadioButton(QString::fromUtf8(text), parent), name, rect);
    radio->setAutoExclusive(true);
    radio->setFocusPolicy(Qt::StrongFocus);
    return radio;
}

QIcon DefaultIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        icon.addFile(QStringLiteral(":/DEFAULT_ICON/%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace

// A cell keeps the exact bytes written to it beside the text it shows.
constexpr int kCellBytesRole = Qt::UserRole + 1;

// The window operations over the widgets. Once the window is closing they touch nothing.
class MainWindowOperations final : public WindowOperations {
  public:
    explicit MainWindowOperations(MainWindow& window) : w_(window) {}

    Utf8Text ReadControlText(EditBox box) override {
        if (w_.closed_) return {};
        const QLineEdit* edit = box == EditBox::WatermarkText ? w_.textEdit_ : w_.pathEdit_;
        return edit->text().toStdString();
    }

    bool IsRadioChecked(RadioButton button) override {
        if (w_.closed_) return false;
        return (button == RadioButton::TextWatermark ? w_.textRadio_ : w_.imageRadio_)->isChecked();
    }

    std::int32_t ListRowCount() override { return w_.closed_ ? 0 : w_.list_->rowCount(); }

    Utf8Text ReadListCell(std::int32_t row, std::int32_t column) override {
        if (w_.closed_) return {};
        const QTableWidgetItem* item = w_.list_->item(row, column);
        if (item == nullptr) return {};
        // The bytes written, also where they are not UTF-8 and show only approximately.
        const QVariant bytes = item->data(kCellBytesRole);
        return bytes.isValid() ? bytes.toByteArray().toStdString() : item->text().toStdString();
    }

    std::int32_t AppendListRow() override {
        if (w_.closed_) return -1;
        QTableWidget& list = *w_.list_;
        const int row = list.rowCount();
        if (row == INT_MAX) return -1;
        list.insertRow(row);
        if (list.rowCount() != row + 1) return -1;
        for (int column = 0; column < list.columnCount(); ++column) {
            auto* item = new QTableWidgetItem();
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            list.setItem(row, column, item);
        }
        return row;
    }

    void WriteListCell(std::int32_t row, std::int32_t column, const Utf8Text& text) override {
        if (w_.closed_) return;
        QTableWidgetItem* item = w_.list_->item(row, column);
        if (item == nullptr) return;
        const QString value = QString::fromStdString(text);
        item->setText(value);
        item->setData(kCellBytesRole, QByteArray::fromStdString(text));
        // Long paths are cut at the column's edge; the tip shows them whole.
        if (column == 1) item->setToolTip(value);
    }

    void ShowMessage(const Utf8Text& text) override {
        if (w_.closed_) return;
        QMessageBox box;  // no owner window
        box.setWindowTitle(QStringLiteral("信息："));
        box.setTextFormat(Qt::PlainText);
        box.setText(QString::fromStdString(text));
        box.setIcon(QMessageBox::NoIcon);
        QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }

    void PumpPendingEvents() override {
        // Dispatches what is waiting and returns; a quit request only marks the main loop,
        // which ends once the run has returned to it.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    bool WindowClosed() override { return w_.closed_; }

    void ShowProgress(std::int32_t done, std::int32_t total) override {
        if (w_.closed_) return;
        w_.progress_->setRange(0, std::max(total, 0));
        w_.progress_->setValue(std::clamp(done, 0, std::max(total, 0)));
        w_.progress_->setVisible(true);
    }

    void HideProgress() override {
        if (w_.closed_) return;
        w_.progress_->setVisible(false);
    }

  private:
    MainWindow& w_;
};

QPoint CentredWindowPosition(const QRect& screen) {
    // C++ division truncates toward zero, as the position rule asks.
    return {screen.x() + (screen.width() - kWindowWidth) / 2,
            screen.y() + (screen.height() - kWindowHeight) / 2};
}

MainWindow::MainWindow() : QWidget(nullptr) {
    RegisterAppResources();
    operations_ = std::make_unique<MainWindowOperations>(*this);

    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QString::fromUtf8(kTitle));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(DefaultIcon());
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);
    setFixedSize(kWindowWidth, kWindowHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(CentredWindowPosition(screen->geometry()));
    }

    BuildControls();
    OnMainWindowCreated(*this);
}

MainWindow::~MainWindow() {
    // A window destroyed without being closed still ends its session.
    if (!closingHandled_) {
        closed_ = true;
        closingHandled_ = true;
        OnMainWindowClosing();
    }
}

WindowOperations& MainWindow::Operations() {
    return *operations_;
}

void MainWindow::BuildControls() {
    list_ = Place(new QTableWidget(0, 2, this), "超级列表框1", QRect(8, 8, 576, 416));
    list_->setHorizontalHeaderLabels({QStringLiteral("序号"), QStringLiteral("文件")});
    QHeaderView* header = list_->horizontalHeader();
    header->setVisible(true);
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->resizeSection(0, 70);
    header->resizeSection(1, 500);
    list_->verticalHeader()->setVisible(false);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    list_->setCornerButtonEnabled(false);
    // Tab leaves the list instead of walking its cells.
    list_->setTabKeyNavigation(false);
    list_->setFocusPolicy(Qt::StrongFocus);
    list_->setFrameShape(QFrame::Box);
    list_->setFrameShadow(QFrame::Plain);
    list_->setLineWidth(1);
    QPalette white = list_->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    // The selected row is shown only while the list has the focus.
    white.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
    white.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
    list_->setPalette(white);

    settingsGroup_ = MakeGroup(this, "分组框1", "设置", QRect(600, 8, 240, 416));
    textRadio_ = MakeRadio(settingsGroup_, "单选框1", "文字水印", QRect(16, 32, 96, 32));
    imageRadio_ = MakeRadio(settingsGroup_, "单选框2", "图片水印", QRect(133, 32, 96, 32));
    auto* radios = new QButtonGroup(this);
    radios->setExclusive(true);
    radios->addButton(textRadio_);
    radios->addButton(imageRadio_);
    textRadio_->setChecked(true);

    textGroup_ = MakeGroup(settingsGroup_, "分组框2", "文字水印", QRect(20, 104, 200, 112));
    textLabel_ = MakeLabel(textGroup_, "标签1", "内容：", QRect(9, 24, 48, 32));
    textEdit_ = MakeEdit(textGroup_, "编辑框1", QRect(60, 24, 128, 32));
    textButton_ = MakeButton(textGroup_, "按钮1", QRect(12, 68, 176, 32));

    imageGroup_ = MakeGroup(settingsGroup_, "分组框3", "图片水印", QRect(20, 240, 200, 112));
    pathLabel_ = MakeLabel(imageGroup_, "标签2", "路径：", QRect(8, 24, 44, 32));
    pathEdit_ = MakeEdit(imageGroup_, "编辑框2", QRect(60, 24, 128, 32));
    pathButton_ = MakeButton(imageGroup_, "按钮2", QRect(8, 69, 180, 32));

    // Shown only while a run is under way, in the free space below 分组框3.
    progress_ = Place(new QProgressBar(settingsGroup_), "进度条1", QRect(20, 368, 200, 24));
    progress_->setFocusPolicy(Qt::NoFocus);
    progress_->setFormat(QStringLiteral("%v / %m"));
    progress_->setVisible(false);

    dropObject_ = new FileDropObject(
        this, [this](const Utf8Text& droppedFiles) { OnFilesDropped(Operations(), droppedFiles); });

    QObject::connect(textButton_, &QPushButton::clicked, this,
                     [this] { OnConfirmClicked(Operations()); });
    QObject::connect(pathButton_, &QPushButton::clicked, this,
                     [this] { OnConfirmClicked(Operations()); });

    setTabOrder(list_, textRadio_);
    setTabOrder(textRadio_, imageRadio_);
    setTabOrder(imageRadio_, textEdit_);
    setTabOrder(textEdit_, textButton_);
    setTabOrder(textButton_, pathEdit_);
    setTabOrder(pathEdit_, pathButton_);
    list_->setFocus();

    // Esc closes the window whichever control has the focus; no control may claim it.
    for (QWidget* control : findChildren<QWidget*>()) control->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers held =
            key->modifiers() &
            (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
        if (key->key() == Qt::Key_Escape && held == Qt::NoModifier) {
            event->accept();
            if (event->type() == QEvent::KeyPress) close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool MainWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape &&
                (key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier |
                                     Qt::MetaModifier)) == Qt::NoModifier) {
                close();
                return true;
            }
            break;
        }
        case QEvent::Show:
            // The frame is known once the platform has shown the window.
            QTimer::singleShot(0, this, [this] { FitClientToFrame(); });
            break;
        case QEvent::Move:
            // A window manager reports its frame when it takes the window over.
            FitClientToFrame();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void MainWindow::FitClientToFrame() {
    // The outer size is 854 x 472 once the window manager's frame is known; without a frame
    // the client area takes the whole size.
    const QWindow* handle = windowHandle();
    if (handle == nullptr || !isVisible()) return;
    const QMargins frame = handle->frameMargins();
    const QSize client(std::max(kWindowWidth - frame.left() - frame.right(), kMinClientWidth),
                       std::max(kWindowHeight - frame.top() - frame.bottom(), kMinClientHeight));
    if (client == size()) return;
    setFixedSize(client);
    // A resize may shift the frame; the frame keeps its centred place.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(CentredWindowPosition(screen->geometry()));
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    closed_ = true;
    if (!closingHandled_) {
        closingHandled_ = true;
        OnMainWindowClosing();
    }
    QWidget::closeEvent(event);
}

}  // namespace zx
