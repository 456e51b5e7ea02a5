#pragma once
// The day-of-month field of the month-day dialog: digits only, with arrows, and corrected as it
// is typed: a value above 31 becomes 31, a value below 1 (an emptied field included) becomes 1.

#include <QSpinBox>

namespace schedule {

class CDayOfMonthBox : public QSpinBox {
    Q_OBJECT

  public:
    static constexpr int firstDay = 1;
    static constexpr int lastDay = 31;

    explicit CDayOfMonthBox(QWidget* parent = nullptr);

    // The text with the correction applied: digits only, then clamped to 1-31.
    static QString corrected(const QString& typed);

  protected:
    QValidator::State validate(QString& input, int& position) const override;
};

}  // namespace schedule
