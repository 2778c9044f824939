#pragma once
// A dialog built from a template of controls in dialog units. Derived
// dialogs bind members in DoDataExchange, set themselves up in
// OnInitDialog, and connect their handlers in one place (their message map)
// in the constructor.

#include "DialogControls.h"
#include "DialogTemplate.h"
#include "DialogUnits.h"

#include <QDialog>
#include <QHash>

class CDataExchange;
class QPushButton;

class CDialogBase : public QDialog, public DialogControls
{
    Q_OBJECT
public:
    explicit CDialogBase(const DialogTemplate &dialogTemplate, QWidget *parent = nullptr);

    // Runs OnInitDialog once (if not yet) and the dialog modally.
    int DoModal();
    // Initialises a modeless dialog; it stays hidden until shown.
    bool Create();
    bool IsCreated() const { return m_bCreated; }

    QWidget *GetDlgItem(int id) const override;
    void EnableDlgItem(int id, bool enable);
    bool IsDlgItemEnabled(int id) const;
    QString GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const QString &text);

    // true: controls to members; false: members to controls.
    bool UpdateData(bool saveAndValidate = true);

    const DialogTemplate &Template() const { return *m_pTemplate; }
    DialogBaseUnits BaseUnits() const { return m_units; }
    // The widget made for the n-th control of the template (ids repeat for
    // statics, so tests look controls up by their template index).
    QWidget *ControlAt(int templateIndex) const { return m_controls.value(templateIndex); }

protected:
    virtual void DoDataExchange(CDataExchange *pDX);
    virtual bool OnInitDialog();
    // Default button (id 1) handling: read the fields back and close.
    virtual void OnOK();
    virtual void OnCancel();

    // Escape and the close box end up here too, through OnCancel.
    void reject() override;
    // Enter presses the focused button, or else the template's default
    // button; with neither it does nothing.
    void keyPressEvent(QKeyEvent *event) override;
    // A new dialog font re-maps the layout.
    void changeEvent(QEvent *event) override;

private:
    void BuildFromTemplate();
    void LayoutFromTemplate();
    int HorizontalUnitFittingTexts() const;
    QWidget *CreateControl(const ControlTemplate &control);
    QWidget *CreateButton(const ControlTemplate &control);
    QWidget *CreateEdit(const ControlTemplate &control);
    void SetTabOrder();
    void SetAccessibleNames();
    void RunInitDialogOnce();
    QPushButton *ButtonForEnter() const;

    const DialogTemplate *m_pTemplate;
    DialogBaseUnits m_units;
    QHash<int, QWidget *> m_controls;   // template index -> widget
    QHash<int, QWidget *> m_byId;       // control id -> widget
    bool m_bCreated = false;
};
