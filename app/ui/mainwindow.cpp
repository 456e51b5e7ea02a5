#include "mainwindow.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/nyvexapp.h"

CNyvexDlg::CNyvexDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Nyvex"));
    auto* layout = new QVBoxLayout(this);
    const QString folder = QString::fromStdString(theApp().configCopy().folder());
    layout->addWidget(new QLabel(
        QStringLiteral("Nyvex %1\n%2").arg(QString::fromLatin1(CInit::versionText), folder)));
    resize(420, 160);
}
