#pragma once
// What the Qt Test cases of dialogs and windows share. They run on the offscreen platform
// (add_nyvex_qt_test sets it) and drive the real widgets, found by object name. A DialogSeam
// answers the station's message boxes and file choosers and records what was shown and every
// beep, so no test waits on a box nobody can click; whenModalOpens() acts on a modal dialog
// while the code under test runs it.

#include <QApplication>
#include <QDebug>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "platform/beep.h"
#include "support/ui/userdialogs.h"

namespace testing_support {

// The child of `parent` named `name` (its descendants included), or null; a miss names the
// children of that kind there are, to make the failing check easy to mend.
template <typename Widget>
Widget* findWidget(const QObject* parent, const QString& name) {
    if (auto* found = parent->findChild<Widget*>(name)) {
        return found;
    }
    QStringList names;
    for (const auto* child : parent->findChildren<Widget*>()) {
        names << child->objectName();
    }
    qWarning().noquote() << "no" << Widget::staticMetaObject.className() << "named" << name
                         << "; there are:" << names.join(QStringLiteral(", "));
    return nullptr;
}

struct Beep {
    unsigned frequencyHz;
    unsigned durationMs;
    bool operator==(const Beep&) const = default;
};

// While it lives: message boxes and file choosers are answered (queued answers first, else
// their defaults) and recorded instead of shown, and beeps are recorded instead of sounded.
class DialogSeam {
  public:
    DialogSeam() {
        CMessageBox::answerForTests(true);
        CMessageBox::clearShown();
        CFileChooser::answerForTests(true);
        CFileChooser::clearShown();
        platform::setBeepObserver([this](unsigned frequency, unsigned duration) {
            beeps.push_back({frequency, duration});
        });
    }
    ~DialogSeam() {
        platform::setBeepObserver(nullptr);
        CMessageBox::answerForTests(false);
        CMessageBox::clearShown();
        CFileChooser::answerForTests(false);
        CFileChooser::clearShown();
    }
    DialogSeam(const DialogSeam&) = delete;
    DialogSeam& operator=(const DialogSeam&) = delete;

    void answerNextBox(QMessageBox::StandardButton answer) { CMessageBox::queueAnswer(answer); }
    void chooseNextFile(const QString& path) { CFileChooser::queueFileName(path); }
    const QList<CMessageBox::Shown>& boxes() const { return CMessageBox::shown(); }
    QStringList boxTexts() const {
        QStringList texts;
        for (const auto& box : boxes()) {
            texts << box.text;
        }
        return texts;
    }
    const QList<CFileChooser::Shown>& choosers() const { return CFileChooser::shown(); }

    std::vector<Beep> beeps;
};

// Calls `action` with the modal dialog of type Dialog that opens next, once it shows (checked
// every 10 ms for up to 10 s). Returns a flag that turns true when the action ran, so the test
// can check that the dialog opened at all.
template <typename Dialog>
std::shared_ptr<bool> whenModalOpens(std::function<void(Dialog*)> action) {
    auto ran = std::make_shared<bool>(false);
    auto* poll = new QTimer(qApp);
    auto triesLeft = std::make_shared<int>(1000);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, ran, triesLeft, action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible()) {
            poll->deleteLater();
            poll->stop();
            *ran = true;
            action(dialog);
        } else if (--*triesLeft <= 0) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(10);
    return ran;
}

}  // namespace testing_support
