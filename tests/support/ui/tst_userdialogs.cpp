// The seam of the station's message boxes and file choosers: while a test answers them they are
// recorded, never shown, and get the queued answers in turn, else their defaults; outside a
// test, without a screen, nothing waits for a click either.

#include <QTest>

#include "support/ui/userdialogs.h"
#include "tests/common/dialogtest.h"

using testing_support::DialogSeam;

class UserDialogsTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void boxesAreRecordedAndAnsweredInTurn() {
        DialogSeam seam;
        seam.answerNextBox(QMessageBox::No);
        QWidget owner;
        const auto buttons = QMessageBox::Yes | QMessageBox::No;
        QCOMPARE(CMessageBox::show(&owner, "first?", "Title", QMessageBox::Question, buttons,
                                   QMessageBox::Yes),
                 QMessageBox::No);
        QCOMPARE(CMessageBox::show(&owner, "second?", "Title", QMessageBox::Question, buttons,
                                   QMessageBox::Yes),
                 QMessageBox::Yes);
        QCOMPARE(CMessageBox::show(nullptr, "plain", "Tolvik"), QMessageBox::Ok);
        QCOMPARE(seam.boxTexts(), QStringList({"first?", "second?", "plain"}));
        QCOMPARE(seam.boxes().at(0).parent, &owner);
        QCOMPARE(seam.boxes().at(2).title, QStringLiteral("Tolvik"));
        QCOMPARE(seam.boxes().at(0).buttons, buttons);
    }

    void fileChoosersGiveTheQueuedNamesThenCancel() {
        DialogSeam seam;
        seam.chooseNextFile("/tmp/spring.jpg");
        QCOMPARE(CFileChooser::openFileName(nullptr, "Media", "/tmp", "*.jpg"),
                 QStringLiteral("/tmp/spring.jpg"));
        QCOMPARE(CFileChooser::openFileName(nullptr, "Media", "/tmp", "*.jpg"), QString());
        QCOMPARE(seam.choosers().size(), 2);
        QCOMPARE(seam.choosers().at(0).folder, QStringLiteral("/tmp"));
        QVERIFY(!seam.choosers().at(0).anyName);
    }

    void aChooserForAnyNameOffersTheCurrentName() {
        DialogSeam seam;
        seam.chooseNextFile("/tmp/not-yet.gif");
        QCOMPARE(CFileChooser::anyFileName(nullptr, "Media", "/tmp", "spring.gif", "All Files (*)"),
                 QStringLiteral("/tmp/not-yet.gif"));
        QCOMPARE(seam.choosers().size(), 1);
        QCOMPARE(seam.choosers().at(0).name, QStringLiteral("spring.gif"));
        QCOMPARE(seam.choosers().at(0).folder, QStringLiteral("/tmp"));
        QVERIFY(seam.choosers().at(0).anyName);
    }

    void withoutAScreenNothingWaits() {
        QVERIFY(!hasScreen());
        QCOMPARE(CMessageBox::show(nullptr, "to stderr", "Tolvik", QMessageBox::Question,
                                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No),
                 QMessageBox::No);
        QCOMPARE(CFileChooser::openFileName(nullptr, "Media", "/tmp", "*"), QString());
        QCOMPARE(CFileChooser::anyFileName(nullptr, "Media", "/tmp", "a.gif", "*"), QString());
        QVERIFY(CMessageBox::shown().isEmpty());
    }
};

QTEST_MAIN(UserDialogsTest)
#include "tst_userdialogs.moc"
