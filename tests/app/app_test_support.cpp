#include "tests/app/app_test_support.h"

#include <QAbstractButton>
#include <QApplication>

namespace zx::test {

MessageCatcher::MessageCatcher() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
}

MessageCatcher::~MessageCatcher() {
    timer_.stop();
}

void MessageCatcher::Poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) continue;
        CaughtMessage caught;
        caught.title = box->windowTitle();
        caught.text = box->text();
        for (QAbstractButton* button : box->buttons()) caught.buttons << button->text();
        caught.icon = box->icon();
        caught.modality = box->windowModality();
        caught.hasParent = box->parentWidget() != nullptr;
        messages_.push_back(caught);
        if (onMessage) onMessage();
        if (!box->buttons().isEmpty()) box->buttons().front()->click();
    }
}

}  // namespace zx::test
