#pragma once
// Helpers shared by the window's tests: the offscreen application and a catcher that
// answers the message boxes a run opens.

#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <vector>

namespace zx::test {

// What a message box showed when it was dismissed.
struct CaughtMessage {
    QString title;
    QString text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowModality modality = Qt::NonModal;
    bool hasParent = false;
};

// While it lives, every visible message box is recorded and closed with its first button.
// A run's box is modal: its own loop dispatches this catcher's timer.
class MessageCatcher {
  public:
    MessageCatcher();
    ~MessageCatcher();
    const std::vector<CaughtMessage>& Messages() const { return messages_; }
    // Runs once per message box, before it is closed.
    std::function<void()> onMessage;

  private:
    void Poll();
    QTimer timer_;
    std::vector<CaughtMessage> messages_;
};

}  // namespace zx::test
