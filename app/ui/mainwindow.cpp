#include "mainwindow.h"

#include <QLabel>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/station/nyvexapp.h"
#include "app/ui/aboutdlg.h"
#include "app/ui/programtexts.h"
#include "app/ui/tooldialogs.h"
#include "backoffice/backoffice.h"
#include "support/texts.h"

CNyvexDlg::CNyvexDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Nyvex"));
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(makeMenu());
    const QString folder = QString::fromStdString(theApp().configCopy().folder());
    layout->addWidget(new QLabel(
        QStringLiteral("Nyvex %1\n%2").arg(QString::fromLatin1(CInit::versionText), folder)));
    status = new QLabel(this);
    layout->addWidget(status);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CNyvexDlg::refresh);
    timer->start(static_cast<int>(CStationTick::interval.count()));
    resize(520, 160);
}

QMenuBar* CNyvexDlg::makeMenu() {
    auto* bar = new QMenuBar(this);
    QMenu* tools = bar->addMenu(QString::fromStdString(support::text("menu_title")));
    const std::pair<ToolCommand, const char*> items[] = {
        {ToolCommand::rangeTest, "rangetest"},
        {ToolCommand::blockingList, "nogo"},
        {ToolCommand::configuration, "configuration"},
        {ToolCommand::campaigns, "campaigns"},
    };
    for (const auto& [command, key] : items) {
        QAction* action = tools->addAction(QString::fromStdString(support::text(key)));
        action->setEnabled(CToolDialogs::program().has(command));
        connect(action, &QAction::triggered, this,
                [this, command = command] { CToolDialogs::program().run(command, this); });
    }
    QAction* about = bar->addAction(QString::fromLatin1(programtexts::aboutItem));
    connect(about, &QAction::triggered, this, [this] { CAboutDlg(this).exec(); });
    return bar;
}

void CNyvexDlg::refresh() {
    ticker.tick();
    status->setText(QString::fromStdString(ticker.statusLine()));
}

void CNyvexDlg::done(int result) {
    if (auto* office = theApp().backOffice()) {
        office->save();
    }
    QDialog::done(result);
}
