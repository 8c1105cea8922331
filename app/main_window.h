#pragma once
// The system's one window: the file list, the settings panel and its two "确定" buttons.
// It holds no logic of its own: drops go to the drop intake, clicks to the batch run, and
// the run reads and fills the controls through the window operations.

#include <QWidget>
#include <memory>

#include "batch/window_operations.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace zx {

class FileDropObject;

inline constexpr int kWindowWidth = 854;
inline constexpr int kWindowHeight = 472;

class MainWindow : public QWidget {
  public:
    // Creates the window, hidden, with every control, then runs OnMainWindowCreated.
    MainWindow();
    ~MainWindow() override;

    // The operations through which the batch run and the drop intake use the controls.
    WindowOperations& Operations();

    // True from the moment the window starts closing.
    bool Closed() const { return closed_; }

    QTableWidget* List() const { return list_; }
    FileDropObject* DropObject() const { return dropObject_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    friend class MainWindowOperations;

    void BuildControls();
    void FitClientToFrame();

    QTableWidget* list_ = nullptr;
    QGroupBox* settingsGroup_ = nullptr;
    QRadioButton* textRadio_ = nullptr;
    QRadioButton* imageRadio_ = nullptr;
    QGroupBox* textGroup_ = nullptr;
    QLabel* textLabel_ = nullptr;
    QLineEdit* textEdit_ = nullptr;
    QPushButton* textButton_ = nullptr;
    QGroupBox* imageGroup_ = nullptr;
    QLabel* pathLabel_ = nullptr;
    QLineEdit* pathEdit_ = nullptr;
    QPushButton* pathButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    FileDropObject* dropObject_ = nullptr;

    std::unique_ptr<WindowOperations> operations_;
    bool closed_ = false;
    bool closingHandled_ = false;
};

// The window's position: centred on the whole primary screen, halves truncated toward zero.
QPoint CentredWindowPosition(const QRect& screen);

}  // namespace zx
