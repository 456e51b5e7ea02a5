#pragma once
// The station's modal message boxes and file choosers, all through one seam. A test switches
// on answering: boxes and choosers are then not shown but recorded, and each gets the answer the
// test queued (else its default), so a test never waits for a click nobody can make. Without a
// screen (the offscreen or minimal platform) and outside a test, a message goes to stderr and is
// answered with its default, and a file chooser is cancelled.

#include <QList>
#include <QMessageBox>
#include <QString>

class CMessageBox {
  public:
    struct Shown {
        QWidget* parent;
        QString text;
        QString title;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };

    // A modal box owned by `parent`; the button pressed. The default answer is
    // `defaultButton`, or OK when none is given.
    static QMessageBox::StandardButton show(
        QWidget* parent, const QString& text, const QString& title,
        QMessageBox::Icon icon = QMessageBox::NoIcon,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // The test seam.
    static void answerForTests(bool on);
    static void queueAnswer(QMessageBox::StandardButton answer);
    static const QList<Shown>& shown();
    static void clearShown();
};

class CFileChooser {
  public:
    struct Shown {
        QWidget* parent;
        QString caption;
        QString folder;
        QString filter;
        QString name;  // the name offered (anyFileName)
        bool anyName;  // any name could be typed, an existing file or not (anyFileName)
    };

    // A modal chooser of one existing file; the chosen path, or empty when cancelled.
    static QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                                const QString& filter);
    // A modal chooser in which any name may be typed, an existing file or a new one (the save
    // style, without the question whether to replace a file: nothing is written to it). It
    // opens in `folder` offering `name`; the chosen path, or empty when cancelled.
    static QString anyFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& name, const QString& filter);

    // The test seam: the queued names are the answers in turn; with none left, cancelled.
    static void answerForTests(bool on);
    static void queueFileName(const QString& path);
    static const QList<Shown>& shown();
    static void clearShown();
};

// True when windows can be seen and clicked (not the offscreen or minimal platform).
bool hasScreen();
