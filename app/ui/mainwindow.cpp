#include "mainwindow.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/station/nyvexapp.h"
#include "backoffice/backoffice.h"

CNyvexDlg::CNyvexDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Nyvex"));
    auto* layout = new QVBoxLayout(this);
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
