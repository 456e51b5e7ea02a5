// The window's side of the station: problems reach the operator as warning boxes.

#include "app/ui/stationui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <thread>
#include <vector>

#include "platform/beep.h"
#include "support/errlog.h"
#include "tests/common/waituntil.h"

namespace {

// What the operator saw: every warning box, closed as soon as it opens, and every beep.
class Operator {
  public:
    Operator() {
        platform::setBeepObserver([this](unsigned, unsigned) { ++beeps; });
        closer.callOnTimeout([this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr) {
                warnings.push_back(box->icon() == QMessageBox::Warning ? box->text().toStdString()
                                                                       : "not a warning");
                box->accept();
            }
        });
        closer.start(5);
    }
    ~Operator() { platform::setBeepObserver(nullptr); }
    Operator(const Operator&) = delete;
    Operator& operator=(const Operator&) = delete;

    // Runs the event loop until `count` boxes were seen.
    bool sawBoxes(std::size_t count) {
        return testing_support::waitUntil([&] {
            QCoreApplication::processEvents();
            return warnings.size() >= count;
        });
    }

    std::vector<std::string> warnings;
    int beeps = 0;

  private:
    QTimer closer;
};

int argc = 1;
char name[] = "stationui_test";
char* argv[] = {name, nullptr};

}  // namespace

TEST(QtStationUi, ProblemsFromAnyThreadOpenAWarningBoxWithABeep) {
    QApplication application(argc, argv);
    Operator person;
    {
        CQtStationUi ui(true);
        std::thread([&] { ui.reportProblem("no radio found"); }).join();
        ASSERT_TRUE(person.sawBoxes(1));
        EXPECT_EQ(person.warnings, std::vector<std::string>{"no radio found"});
        EXPECT_EQ(person.beeps, 1);

        // The error log beeps itself when it cannot be written: the box adds no second beep.
        std::thread([] { support::alert("The error log cannot be written"); }).join();
        ASSERT_TRUE(person.sawBoxes(2));
        EXPECT_EQ(person.warnings.back(), "The error log cannot be written");
        EXPECT_EQ(person.beeps, 1);
    }
    support::alert("after the window: stderr only");
    QCoreApplication::processEvents();
    EXPECT_EQ(person.warnings.size(), 2u);
}
