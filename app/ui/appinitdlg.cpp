#include "appinitdlg.h"

#include "app/station/radioname.h"
#include "config/configstore.h"
#include "platform/beep.h"
#include "support/filechecker.h"
#include "support/ui/userdialogs.h"
#include "ui_appinitdlg.h"

CAppInitDlg::CAppInitDlg(CDInterface& radioNameService, RadioNameSource nameSource, QWidget* parent)
    : CResoFilter(dialogTemplate, parent),
      ui(std::make_unique<Ui::AppInitDlg>()),
      radioNames(radioNameService),
      currentName(std::move(nameSource)) {
    ui->setupUi(this);
    setLabels();
    connect(ui->daysEdit, &QSpinBox::valueChanged, this, &CAppInitDlg::clampDays);
    connect(ui->okButton, &QPushButton::clicked, this, &CAppInitDlg::accept);
    connect(ui->cancelButton, &QPushButton::clicked, this, &CAppInitDlg::reject);
    showSettings();
}

CAppInitDlg::~CAppInitDlg() = default;

void CAppInitDlg::setLabels() {
    setWindowTitle(text("configuration"));
    setItemText(1, "ok__");
    setItemText(2, "cancel");
    setItemText(1007, "delay_until_next");
    setItemText(1110, "days");
    setItemText(1015, "sender");
    const QString explanation = text("explanation_duration");
    ui->daysEdit->setToolTip(explanation);
    ui->daysEdit->setAccessibleDescription(explanation);
}

void CAppInitDlg::showSettings() {
    const std::string duration = config::configCopy().getString("duration", true);
    const QString stored = QString::fromStdString(duration).trimmed();
    const int days = stored.compare(QLatin1String(CInit::missing), Qt::CaseInsensitive) == 0
                         ? defaultDays
                         : stored.toInt();
    ui->daysEdit->setValue(days);
    clampDays(ui->daysEdit->value());
    ui->senderEdit->setText(currentRadioName());
}

// The arrows and the keyboard may leave the field anywhere in its range; the field always ends
// between 1 and 31.
void CAppInitDlg::clampDays(int shown) {
    if (shown < minDays) {
        ui->daysEdit->setValue(minDays);
    } else if (shown > maxDays) {
        ui->daysEdit->setValue(maxDays);
    }
}

QString CAppInitDlg::currentRadioName() const {
    const std::optional<std::string> name = currentName ? currentName() : std::nullopt;
    return QString::fromStdString(name.value_or(""));
}

void CAppInitDlg::highlight(int controlId) {
    highlighted = controlId;
    if (QWidget* field = control(controlId)) {
        field->setStyleSheet(
            QStringLiteral("background-color: %1;").arg(QColor(highlightColour).name()));
    }
}

void CAppInitDlg::accept() {
    const int days = ui->daysEdit->value();
    const QString senderName = ui->senderEdit->text();
    config::configCopy().setString("duration", std::to_string(days));
    if (!CFileChecker::isValidFileName(senderName.toStdString())) {
        CMessageBox::show(this, text("string3and17nospecialchars"), text("error"),
                          QMessageBox::Warning);
        ui->senderEdit->setFocus();
        highlight(ui->senderEdit->property(controlIdProperty).toInt());
        return;
    }
    if (senderName.compare(currentRadioName(), Qt::CaseInsensitive) != 0) {
        platform::beep(renameBeepHz, renameBeepMs);
        if (radioNames.setLocalName(senderName.toStdString()) != 0) {
            CMessageBox::show(this, text("change_sendername_failed"), text("name_sender"),
                              QMessageBox::Warning);
        }
    }
    CResoFilter::accept();
}
