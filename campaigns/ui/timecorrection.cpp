#include "timecorrection.h"

#include <QSignalBlocker>

#include "platform/beep.h"

namespace schedule {

namespace {
void moveBack(QTimeEdit* changed, const QTimeEdit* other) {
    const QSignalBlocker quiet(changed);
    changed->setTime(other->time());
    platform::beep(timeCorrectionBeepHz, timeCorrectionBeepMs);
}
}  // namespace

void keepOrdered(QTimeEdit* from, QTimeEdit* to) {
    QObject::connect(from, &QTimeEdit::timeChanged, from, [from, to] {
        if (from->time() > to->time()) {
            moveBack(from, to);
        }
    });
    QObject::connect(to, &QTimeEdit::timeChanged, to, [from, to] {
        if (from->time() > to->time()) {
            moveBack(to, from);
        }
    });
}

void resetTimes(QTimeEdit* from, QTimeEdit* to) {
    const QSignalBlocker quietFrom(from);
    const QSignalBlocker quietTo(to);
    from->setTime(QTime(0, 0));
    to->setTime(QTime(23, 59));
}

}  // namespace schedule
