#include "userdialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QQueue>
#include <iostream>

namespace {

struct Seam {
    bool answeringBoxes = false;
    QQueue<QMessageBox::StandardButton> answers;
    QList<CMessageBox::Shown> boxes;
    bool answeringChoosers = false;
    QQueue<QString> fileNames;
    QList<CFileChooser::Shown> choosers;
};

// Dialogs belong to the GUI thread, and so does the seam.
Seam& seam() {
    static Seam instance;
    return instance;
}

QMessageBox::StandardButton defaultAnswer(QMessageBox::StandardButton defaultButton) {
    return defaultButton == QMessageBox::NoButton ? QMessageBox::Ok : defaultButton;
}

}  // namespace

bool hasScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

QMessageBox::StandardButton CMessageBox::show(QWidget* parent, const QString& text,
                                              const QString& title, QMessageBox::Icon icon,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton) {
    Seam& s = seam();
    if (s.answeringBoxes) {
        s.boxes.append({parent, text, title, icon, buttons});
        return s.answers.isEmpty() ? defaultAnswer(defaultButton) : s.answers.dequeue();
    }
    if (!hasScreen()) {
        std::cerr << (title.isEmpty() ? "" : title.toStdString() + ": ") << text.toStdString()
                  << std::endl;
        return defaultAnswer(defaultButton);
    }
    QMessageBox box(icon, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(defaultButton);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void CMessageBox::answerForTests(bool on) {
    seam().answeringBoxes = on;
    seam().answers.clear();
}

void CMessageBox::queueAnswer(QMessageBox::StandardButton answer) {
    seam().answers.enqueue(answer);
}

const QList<CMessageBox::Shown>& CMessageBox::shown() {
    return seam().boxes;
}

void CMessageBox::clearShown() {
    seam().boxes.clear();
}

QString CFileChooser::openFileName(QWidget* parent, const QString& caption, const QString& folder,
                                   const QString& filter) {
    Seam& s = seam();
    if (s.answeringChoosers) {
        s.choosers.append({parent, caption, folder, filter, QString(), false});
        return s.fileNames.isEmpty() ? QString() : s.fileNames.dequeue();
    }
    if (!hasScreen()) {
        return {};
    }
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString CFileChooser::anyFileName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& name, const QString& filter) {
    Seam& s = seam();
    if (s.answeringChoosers) {
        s.choosers.append({parent, caption, folder, filter, name, true});
        return s.fileNames.isEmpty() ? QString() : s.fileNames.dequeue();
    }
    if (!hasScreen()) {
        return {};
    }
    const QString offered = name.isEmpty() ? folder : folder + QLatin1Char('/') + name;
    return QFileDialog::getSaveFileName(parent, caption, offered, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void CFileChooser::answerForTests(bool on) {
    seam().answeringChoosers = on;
    seam().fileNames.clear();
}

void CFileChooser::queueFileName(const QString& path) {
    seam().fileNames.enqueue(path);
}

const QList<CFileChooser::Shown>& CFileChooser::shown() {
    return seam().choosers;
}

void CFileChooser::clearShown() {
    seam().choosers.clear();
}
