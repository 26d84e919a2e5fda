// ModalHelper: acts on the modal windows a test's action opens, from outside their modal
// loops: each scripted step in turn gets the next new modal widget.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>

class ModalHelper : public QObject {
  public:
    // Called with the modal widget; returns true when it acted on it.
    using Step = std::function<bool(QWidget*)>;

    ModalHelper() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }

    void then(Step step) { steps_.push_back(std::move(step)); }

    // Records the next message box and clicks its button; with `when`, once that holds.
    void answer(QMessageBox::StandardButton button, std::function<bool()> when = {}) {
        then([this, button, when](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || (when && !when()))
                return false;
            texts.push_back(box->text());
            titles.push_back(box->windowTitle());
            defaults.push_back(box->defaultButton() ? box->standardButton(box->defaultButton())
                                                    : QMessageBox::NoButton);
            icons.push_back(box->icon());
            box->button(button)->click();
            return true;
        });
    }

    bool done() const { return steps_.empty(); }

    QStringList texts;
    QStringList titles;
    QList<QMessageBox::StandardButton> defaults;
    QList<QMessageBox::Icon> icons;

  private:
    void poll() {
        if (steps_.empty())
            return;
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last_)
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
