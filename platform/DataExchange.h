#pragma once
// Data exchange between dialog members and their controls, called from a
// dialog's DoDataExchange through UpdateData: saving reads the controls into
// the members, otherwise the members are written into the controls.

#include <QByteArray>
#include <QString>
#include <QWidget>

#include "DialogControls.h"

class CDataExchange
{
public:
    CDataExchange(const DialogControls *dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    const DialogControls *m_pDlgWnd;
    bool m_bSaveAndValidate;

    QWidget *Control(int id) const;
};

// The text of an edit, a multi-line edit, a rich edit (decoded from its
// bytes), a static, a button or a group box; empty for other widgets.
QString GetControlText(const QWidget *control);
void SetControlText(QWidget *control, const QString &text);

// Binds a member pointer to the control with this id.
template <class Control>
void DDX_Control(CDataExchange *pDX, int id, Control *&member)
{
    member = qobject_cast<Control *>(pDX->Control(id));
}

// Check box state.
void DDX_Check(CDataExchange *pDX, int id, bool &value);
// Text of an edit, a static or a button.
void DDX_Text(CDataExchange *pDX, int id, QString &value);
// Bytes of a rich edit field: saved as a view of its text (CRichEditCtrl::
// TextView), valid until the field's text changes.
void DDX_Text(CDataExchange *pDX, int id, QByteArray &value);
