// The window's side of the station: problems reach the operator as warning boxes.

#include "app/ui/stationui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <thread>

#include "support/errlog.h"
#include "tests/common/dialogtest.h"
#include "tests/common/waituntil.h"

namespace {

int argc = 1;
char name[] = "stationui_test";
char* argv[] = {name, nullptr};

// The warning boxes shown so far, after running the event loop until there are `count`.
QStringList warningsOnceThereAre(const testing_support::DialogSeam& seam, qsizetype count) {
    testing_support::waitUntil([&] {
        QCoreApplication::processEvents();
        return seam.boxes().size() >= count;
    });
    QStringList texts;
    for (const auto& box : seam.boxes()) {
        texts << (box.icon == QMessageBox::Warning ? box.text : QStringLiteral("not a warning"));
    }
    return texts;
}

}  // namespace

TEST(QtStationUi, ProblemsFromAnyThreadOpenAWarningBoxWithABeep) {
    QApplication application(argc, argv);
    testing_support::DialogSeam seam;
    {
        CQtStationUi ui(true);
        std::thread([&] { ui.reportProblem("no radio found"); }).join();
        EXPECT_EQ(warningsOnceThereAre(seam, 1), QStringList{"no radio found"});
        EXPECT_EQ(seam.beeps.size(), 1u);

        // The error log beeps itself when it cannot be written: the box adds no second beep.
        std::thread([] { support::alert("The error log cannot be written"); }).join();
        EXPECT_EQ(warningsOnceThereAre(seam, 2),
                  (QStringList{"no radio found", "The error log cannot be written"}));
        EXPECT_EQ(seam.beeps.size(), 1u);
    }
    support::alert("after the window: stderr only");
    QCoreApplication::processEvents();
    EXPECT_EQ(seam.boxes().size(), 2);
}
