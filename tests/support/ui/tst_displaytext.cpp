// Names from phones are shown safely: nothing in them breaks a line, hides text or turns the
// text around it, and long names are cut without splitting a character.

#include <QTest>

#include "support/ui/displaytext.h"

class DisplayTextTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void namesAreMadeSafe_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QString>("shown");
        const QString fffd(QChar(0xFFFD));
        QTest::newRow("plain") << "Anna" << 0 << "Anna";
        QTest::newRow("line break and tab") << "An\nna\t1" << 0 << "An" + fffd + "na" + fffd + "1";
        QTest::newRow("C1 control and delete")
            << QString("A") + QChar(0x85) + QChar(0x7F) << 0 << "A" + fffd + fffd;
        QTest::newRow("right-to-left override")
            << QString(QChar(0x202E)) + "gpj.exe" << 0 << "gpj.exe";
        QTest::newRow("marks and isolates")
            << QString(QChar(0x200F)) + "x" + QChar(0x2067) + "y" + QChar(0x2069) << 0 << "xy";
        QTest::newRow("paragraph separator")
            << "a" + QString(QChar(0x2029)) + "b" << 0 << "a" + fffd + "b";
        QTest::newRow("lone surrogate") << QString(QChar(0xD83D)) + "x" << 0 << fffd + "x";
        QTest::newRow("pair kept") << QString::fromUtf8("a\xF0\x9F\x93\xB1") << 0
                                   << QString::fromUtf8("a\xF0\x9F\x93\xB1");
        QTest::newRow("Hebrew letters stay")
            << QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D") << 0
            << QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D");
        QTest::newRow("cut") << "abcdefgh" << 5 << "abcd" + QString(QChar(0x2026));
        QTest::newRow("cut never splits a pair")
            << QString::fromUtf8("abc\xF0\x9F\x93\xB1z") << 5 << "abc" + QString(QChar(0x2026));
        QTest::newRow("short enough") << "abcde" << 5 << "abcde";
    }
    void namesAreMadeSafe() {
        QFETCH(QString, raw);
        QFETCH(int, maxLength);
        QFETCH(QString, shown);
        QCOMPARE(displayText(raw, maxLength), shown);
    }

    void aFullFieldOf248UnitsWithoutItsEndIsReadToItsCapacity() {
        char16_t field[248];
        std::fill(std::begin(field), std::end(field), u'x');
        QCOMPARE(displayText(field, 248).size(), 248);
        QCOMPARE(displayText(field, 248, 40).size(), 40);
        field[3] = 0;
        QCOMPARE(displayText(field, 248), QStringLiteral("xxx"));
    }
};

QTEST_MAIN(DisplayTextTest)
#include "tst_displaytext.moc"
