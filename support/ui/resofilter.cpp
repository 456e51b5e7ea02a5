#include "resofilter.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>

#include "support/logentry.h"
#include "support/texts.h"

CResoFilter::CResoFilter(int templateId, QWidget* parent)
    : QDialog(parent), dialogTemplate(templateId) {}

CResoFilter::~CResoFilter() = default;

void CResoFilter::setItemText(int controlId, const std::string& key) {
    QWidget* target = control(controlId);
    std::string value;
    if (target == nullptr || !support::texts().lookup(key, value)) {
        support::logError("Dlgid " + std::to_string(controlId) + " not found for: " + key,
                          support::typeTag(static_cast<CResoFilter*>(this)));
        return;
    }
    setControlText(target, QString::fromStdString(value));
}

QString CResoFilter::text(const std::string& key) {
    return QString::fromStdString(support::text(key));
}

QWidget* CResoFilter::control(int controlId) const {
    return findControl(this, controlId);
}

int controlIdOf(const QWidget* widget) {
    return widget->property(CResoFilter::controlIdProperty).toInt();
}

QWidget* findControl(const QWidget* parent, int controlId) {
    const auto widgets = parent->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (controlIdOf(widget) == controlId) {
            return widget;
        }
    }
    return nullptr;
}

void setControlText(QWidget* control, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
        box->setTitle(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
    } else {
        control->setWindowTitle(text);
    }
}
