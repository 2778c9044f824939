#include "DataExchange.h"

#include "CRichEditCtrl.h"
#include "CStatic.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtDebug>

namespace {

QString DecodeEditorBytes(const CRichEditCtrl &editor, const QByteArray &bytes)
{
    return editor.IsUtf8() ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

QByteArray EncodeEditorText(const CRichEditCtrl &editor, const QString &text)
{
    return editor.IsUtf8() ? text.toUtf8() : text.toLatin1();
}

QWidget *ControlOrWarn(CDataExchange *pDX, int id)
{
    QWidget *control = pDX->Control(id);
    if (!control)
        qWarning("Data exchange: the dialog has no control %d", id);
    return control;
}

} // namespace

QWidget *CDataExchange::Control(int id) const
{
    return m_pDlgWnd->GetDlgItem(id);
}

QString GetControlText(const QWidget *control)
{
    if (const auto *edit = qobject_cast<const QLineEdit *>(control))
        return edit->text();
    if (const auto *multiLine = qobject_cast<const QPlainTextEdit *>(control))
        return multiLine->toPlainText();
    if (const auto *editor = qobject_cast<const CRichEditCtrl *>(control))
        return DecodeEditorBytes(*editor, editor->GetTextBytes());
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(control))
        return group->title();
    return {};
}

void SetControlText(QWidget *control, const QString &text)
{
    if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        edit->setText(text);
    } else if (auto *multiLine = qobject_cast<QPlainTextEdit *>(control)) {
        multiLine->setPlainText(text);
    } else if (auto *editor = qobject_cast<CRichEditCtrl *>(control)) {
        editor->SetTextBytes(EncodeEditorText(*editor, text));
    } else if (auto *staticText = qobject_cast<CStatic *>(control)) {
        staticText->SetWindowText(text);
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        label->setText(text);
    } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        button->setText(text);
        button->setAccessibleName(text);
    } else if (auto *group = qobject_cast<QGroupBox *>(control)) {
        group->setTitle(text);
    }
}

void DDX_Check(CDataExchange *pDX, int id, bool &value)
{
    auto *button = qobject_cast<QAbstractButton *>(ControlOrWarn(pDX, id));
    if (!button)
        return;
    if (pDX->m_bSaveAndValidate)
        value = button->isChecked();
    else
        button->setChecked(value);
}

void DDX_Text(CDataExchange *pDX, int id, QString &value)
{
    QWidget *control = ControlOrWarn(pDX, id);
    if (!control)
        return;
    // As for bytes below: only a changed text is written.
    if (pDX->m_bSaveAndValidate)
        value = GetControlText(control);
    else if (GetControlText(control) != value)
        SetControlText(control, value);
}

void DDX_Text(CDataExchange *pDX, int id, QByteArray &value)
{
    auto *editor = qobject_cast<CRichEditCtrl *>(ControlOrWarn(pDX, id));
    if (!editor) {
        qWarning("Data exchange: control %d holds no bytes", id);
        return;
    }
    // The member gets a view of the field's text rather than a copy of it:
    // a large input is then held once. A view is never written back: it
    // shows the field's own text, or is out of date and must not be read.
    // Writing an unchanged text again would still be an edit, with its
    // change notification.
    if (pDX->m_bSaveAndValidate)
        value = editor->TextView();
    else if (!editor->IsViewOfText(value) && !editor->HasTextBytes(value))
        editor->SetTextBytes(value);
}
