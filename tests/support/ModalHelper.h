// ModalHelper: acts on the modal windows a test's action opens, from outside their modal
// loops: each scripted step in turn gets the next new modal widget.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <functional>

class ModalHelper : public QObject {
  public:
    // Called with the modal widget; returns true when it acted on it.
    using Step = std::function<bool(QWidget*)>;

    ModalHelper() {
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(5);
    }

    void then(Step step) { steps_.push_back(std::move(step)); }

    // Records the next message box as "title: text | informative text [default button]"
    // (" +icon" if it has one, " +button icons" if a button shows one, " +narrow" if it
    // leaves no room for its title bar) and clicks its button (a box without that button,
    // such as an OK box, its default); with `when`, once that holds.
    void answer(QMessageBox::StandardButton button, std::function<bool()> when = {}) {
        then([this, button, when](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || (when && !when()))
                return false;
            const QString byDefault = box->defaultButton() ? box->defaultButton()->text().remove('&') : "";
            bool buttonIcons = false;
            for (QAbstractButton* b : box->buttons())
                buttonIcons = buttonIcons || !b->icon().isNull();
            const QString reason = box->informativeText().isEmpty() ? "" : " | " + box->informativeText();
            boxes << QStringLiteral("%1: %2%3 [%4]").arg(box->windowTitle(), box->text(), reason, byDefault) +
                         (box->icon() == QMessageBox::NoIcon ? "" : " +icon") + (buttonIcons ? " +button icons" : "") +
                         (box->width() < box->fontMetrics().horizontalAdvance(box->windowTitle()) + 160 ? " +narrow" : "");
            (box->button(button) ? box->button(button) : box->defaultButton())->click();
            return true;
        });
    }

    bool done() const { return steps_.empty(); }

    QStringList boxes;

  private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (steps_.empty() || !modal || modal == last_)
            return;
        if (steps_.front()(modal)) {
            last_ = modal;
            steps_.pop_front();
        }
    }

    QTimer timer_;
    std::deque<Step> steps_;
    QPointer<QWidget> last_;
};
