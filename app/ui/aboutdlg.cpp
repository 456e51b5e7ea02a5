#include "aboutdlg.h"

#include "app/ui/programtexts.h"
#include "support/ui/artwork.h"
#include "ui_aboutdlg.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::AboutDlg>()) {
    ui->setupUi(this);
    ui->programIcon->setPixmap(artwork::programIcon().pixmap(48, 48));
    ui->versionLabel->setText(
        QStringLiteral("Tolvik %1").arg(QLatin1String(programtexts::version)));
    ui->webAddressLabel->setText(QLatin1String(programtexts::webAddress));
}

CAboutDlg::~CAboutDlg() = default;
