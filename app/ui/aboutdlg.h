#pragma once
// The about box: the program's name and version and the maker's web address. The one dialog
// whose texts are the program's own rather than operator texts.

#include <QDialog>
#include <memory>

namespace Ui {
class AboutDlg;
}

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int templateId = 100;

    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

  private:
    std::unique_ptr<Ui::AboutDlg> ui;
};
