#include "ui/qt/Accessible.h"

#include "ui/DialFormLogic.h"
#include "ui/TFormLogic.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QWidget>

namespace ui::qt {

namespace {

// The dial and timing windows as frames; everything else as Qt describes it.
QAccessibleInterface* WindowAsFrame(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr || !widget->isWindow() ||
        (dynamic_cast<DialView*>(widget) == nullptr && dynamic_cast<TimingView*>(widget) == nullptr))
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
}

} // namespace

void Describe(QWidget* widget, const std::string& name, const char* description) {
    static const bool factory = (QAccessible::installFactory(&WindowAsFrame), true);
    (void)factory;
    widget->setAccessibleName(QString::fromStdString(name));
    widget->setAccessibleDescription(QString::fromUtf8(description));
}

void Describe(QWidget* widget, const a11y::Control& control) {
    Describe(widget, control.name, control.description);
}

void DescribeLabel(QLabel* label, const a11y::Control& control) {
    Describe(label, std::string(control.name) + ": " + label->text().toStdString(), control.description);
}

} // namespace ui::qt
