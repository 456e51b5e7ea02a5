// The about box: the program's name and version, the maker's web address, and OK closes it.

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/ui/aboutdlg.h"
#include "support/ui/resofilter.h"
#include "tests/common/dialogtest.h"

using testing_support::findWidget;

class AboutDlgTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void showsVersionAndWebAddressAndClosesWithOk() {
        CAboutDlg dialog;
        auto* version = findWidget<QLabel>(&dialog, "versionLabel");
        auto* web = findWidget<QLabel>(&dialog, "webAddressLabel");
        auto* ok = findWidget<QPushButton>(&dialog, "okButton");
        QVERIFY(version && web && ok);
        QCOMPARE(version->text(), QStringLiteral("Tolvik 1.061"));
        QCOMPARE(findControl(&dialog, 1099), version);
        QCOMPARE(findControl(&dialog, 1015), web);
        QVERIFY(!web->text().isEmpty());
        dialog.show();
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(AboutDlgTest)
#include "tst_aboutdlg.moc"
