// The dialog base puts the operator texts on controls found by their control number, and logs
// a missing control or key without touching the control.

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "support/texts.h"
#include "support/ui/resofilter.h"
#include "tests/common/logreader.h"
#include "tests/common/tempfolder.h"

using testing_support::errorLogText;
using testing_support::TempFolder;

namespace {

// A dialog with one control of each kind, the way a form gives them their numbers.
class SampleDialog : public CResoFilter {
  public:
    SampleDialog() : CResoFilter(145, nullptr) {
        auto* layout = new QVBoxLayout(this);
        auto* group = new QGroupBox(QStringLiteral("group template"), this);
        auto* inner = new QVBoxLayout(group);
        label = add<QLabel>(inner, "daysLabel", 1110, group);
        button = add<QPushButton>(layout, "okButton", 1, this);
        edit = add<QLineEdit>(layout, "senderEdit", 1005, this);
        group->setObjectName(QStringLiteral("campaignGroup"));
        group->setProperty(controlIdProperty, 1105);
        layout->addWidget(group);
        this->group = group;
    }

    template <typename Widget>
    Widget* add(QLayout* layout, const char* name, int id, QWidget* parent) {
        auto* widget = new Widget(parent);
        widget->setObjectName(QLatin1String(name));
        widget->setProperty(controlIdProperty, id);
        setControlText(widget, QStringLiteral("template"));
        layout->addWidget(widget);
        return widget;
    }

    QLabel* label;
    QPushButton* button;
    QLineEdit* edit;
    QGroupBox* group;
};

QString visibleText(QWidget* control) {
    if (auto* l = qobject_cast<QLabel*>(control)) {
        return l->text();
    }
    if (auto* b = qobject_cast<QPushButton*>(control)) {
        return b->text();
    }
    if (auto* e = qobject_cast<QLineEdit*>(control)) {
        return e->text();
    }
    if (auto* g = qobject_cast<QGroupBox*>(control)) {
        return g->title();
    }
    return control->windowTitle();
}

}  // namespace

class ResoFilterTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() {
        folder.write("resource.xml",
                     "<reso langu=\"English\"><resstr cod=\"days\">days</resstr>"
                     "<resstr cod=\"ok__\">OK</resstr><resstr cod=\"sender\">Name</resstr>"
                     "<resstr cod=\"only_topmost\">Only the top one</resstr></reso>");
        support::texts().load(folder.file("resource.xml"));
        QDir::setCurrent(QString::fromStdString(folder.folder()));
    }

    void setsTheTextOnEveryKindOfControl_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("shown");
        QTest::newRow("label inside a group") << 1110 << "days"
                                              << "days";
        QTest::newRow("button") << 1 << "ok__"
                                << "OK";
        QTest::newRow("edit field") << 1005 << "sender"
                                    << "Name";
        QTest::newRow("group box") << 1105 << "only_topmost"
                                   << "Only the top one";
    }
    void setsTheTextOnEveryKindOfControl() {
        QFETCH(int, id);
        QFETCH(QString, key);
        QFETCH(QString, shown);
        SampleDialog dialog;
        dialog.setItemText(id, key.toStdString());
        QVERIFY(dialog.control(id) != nullptr);
        QCOMPARE(visibleText(dialog.control(id)), shown);
    }

    void aMissingControlOrKeyIsLoggedAndLeavesTheTemplateText_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("key");
        QTest::newRow("no such control") << 4711 << "days";
        QTest::newRow("no such key") << 1110 << "no_such_key";
    }
    void aMissingControlOrKeyIsLoggedAndLeavesTheTemplateText() {
        QFETCH(int, id);
        QFETCH(QString, key);
        std::remove("Nyvex_err.txt");
        SampleDialog dialog;
        dialog.setItemText(id, key.toStdString());
        QCOMPARE(dialog.label->text(), QStringLiteral("template"));
        const std::string log = errorLogText(folder.folder(), CErrLog1::logFileName());
        const std::string expected = "Fehlerquelle : CResoFilter*\r\nFehler : Dlgid " +
                                     std::to_string(id) + " not found for: " + key.toStdString() +
                                     "\r\n";
        QVERIFY2(log.find(expected) != std::string::npos, log.c_str());
    }

    void controlsAreFoundByNumberAndByName() {
        SampleDialog dialog;
        QCOMPARE(dialog.control<QLineEdit>(1005), dialog.edit);
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("senderEdit")), dialog.edit);
        QCOMPARE(dialog.control<QLabel>(1005), nullptr);
        QCOMPARE(dialog.control(999), nullptr);
        QCOMPARE(dialog.templateId(), 145);
    }

    void textGivesTheOperatorText() {
        QCOMPARE(CResoFilter::text("days"), QStringLiteral("days"));
        QCOMPARE(CResoFilter::text("no_such_key"), QString());
    }

  private:
    TempFolder folder;
};

QTEST_MAIN(ResoFilterTest)
#include "tst_resofilter.moc"
