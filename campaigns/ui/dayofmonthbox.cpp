#include "dayofmonthbox.h"

namespace schedule {

namespace {
// More digits than a day needs are refused as typed, like any other character.
constexpr int longestTyping = 3;
}  // namespace

CDayOfMonthBox::CDayOfMonthBox(QWidget* parent) : QSpinBox(parent) {
    setRange(firstDay, lastDay);
}

QString CDayOfMonthBox::corrected(const QString& typed) {
    const int day = typed.toInt();  // an empty text reads as 0
    if (day < firstDay) {
        return QString::number(firstDay);
    }
    if (day > lastDay) {
        return QString::number(lastDay);
    }
    return typed;
}

QValidator::State CDayOfMonthBox::validate(QString& input, int& position) const {
    for (const QChar c : input) {
        if (!c.isDigit()) {
            return QValidator::Invalid;
        }
    }
    if (input.size() > longestTyping) {
        return QValidator::Invalid;
    }
    const QString fixed = corrected(input);
    if (fixed != input) {
        input = fixed;
        position = static_cast<int>(input.size());
    }
    return QValidator::Acceptable;
}

}  // namespace schedule
