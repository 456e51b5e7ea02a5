#pragma once
// The base of the station's dialogs (all but the about box): puts the operator texts on the
// controls. Every control of a dialog's form carries its control number in the property
// "controlId", so the dialog reaches a control by number the way its texts are assigned, and
// tests reach it by its object name.

#include <QDialog>
#include <QString>
#include <string>

class CResoFilter : public QDialog {
    Q_OBJECT

  public:
    // The dynamic property of a form's widgets that holds their control number.
    static constexpr const char* controlIdProperty = "controlId";

    CResoFilter(int templateId, QWidget* parent);
    ~CResoFilter() override;

    int templateId() const { return dialogTemplate; }

    // Puts the text of `key` on control `controlId`. A missing control or key is logged
    // ("Dlgid <id> not found for: <key>") and leaves the control's text as the form has it.
    void setItemText(int controlId, const std::string& key);
    // The operator text of `key`; a missing key is logged and gives the empty text.
    static QString text(const std::string& key);

    // The widget carrying control number `controlId`, or null.
    QWidget* control(int controlId) const;
    template <typename Widget>
    Widget* control(int controlId) const {
        return qobject_cast<Widget*>(control(controlId));
    }

  private:
    int dialogTemplate;
};

// The control number of a form's widget; 0 when it carries none.
int controlIdOf(const QWidget* widget);
// The widget below `parent` (its descendants included) that carries control number `controlId`.
QWidget* findControl(const QWidget* parent, int controlId);
// Sets a control's visible text the way its kind shows one: a label's or button's text, a group
// box's title, an edit field's content, else the window title.
void setControlText(QWidget* control, const QString& text);
