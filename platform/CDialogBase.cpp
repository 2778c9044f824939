#include "CDialogBase.h"

#include "CListBox.h"
#include "CRichEditCtrl.h"
#include "CStatic.h"
#include "DataExchange.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <limits>

namespace {

// A static at least this many dialog units high holds more than one line.
constexpr int kMultiLineStaticHeight = 16;

QString TemplateText(const ControlTemplate &control)
{
    return QString::fromUtf8(control.text ? control.text : "");
}

bool IsLabelFor(const ControlTemplate &candidate)
{
    return (candidate.kind == ControlKind::Static || candidate.kind == ControlKind::CheckBox)
           && candidate.text && *candidate.text;
}

bool NeedsLabel(ControlKind kind)
{
    return kind == ControlKind::Edit || kind == ControlKind::RichEdit || kind == ControlKind::ListBox;
}

// How far `label` sits from `field` when it is on the field's row to its
// left or above it; -1 when it is neither.
int LabelGap(const ControlTemplate &label, const ControlTemplate &field)
{
    const bool sharesRow = label.y < field.y + field.cy && field.y < label.y + label.cy;
    const bool sharesColumn = label.x < field.x + field.cx && field.x < label.x + label.cx;
    if (sharesRow && label.x + label.cx <= field.x)
        return field.x - (label.x + label.cx);
    if (sharesColumn && label.y + label.cy <= field.y)
        return field.y - (label.y + label.cy);
    return -1;
}

// A field is named by the closest text beside it or above it, as a reader
// of the dialog would pair them (the earlier in the template on a tie); a
// field with none takes the caption.
QString FieldLabel(const DialogTemplate &dialogTemplate, const ControlTemplate &field)
{
    QString best = QString::fromUtf8(dialogTemplate.caption);
    int bestGap = std::numeric_limits<int>::max();
    for (const ControlTemplate &candidate : dialogTemplate.controls) {
        const int gap = IsLabelFor(candidate) ? LabelGap(candidate, field) : -1;
        if (gap >= 0 && gap < bestGap) {
            best = TemplateText(candidate);
            bestGap = gap;
        }
    }
    return best;
}

Qt::WindowFlags WindowFlagsFor(unsigned dialogStyle)
{
    // Caption, system menu and close box; never a minimise or maximise box.
    const Qt::WindowFlags decorations = Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                        | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return ((dialogStyle & DS_TOOLWINDOW) ? Qt::Tool : Qt::Dialog) | decorations;
}

} // namespace

CDialogBase::CDialogBase(const DialogTemplate &dialogTemplate, QWidget *parent)
    : QDialog(parent), m_pTemplate(&dialogTemplate)
{
    setWindowFlags(WindowFlagsFor(m_pTemplate->style));
    setWindowTitle(QString::fromUtf8(m_pTemplate->caption));
    BuildFromTemplate();
    LayoutFromTemplate();
}

void CDialogBase::BuildFromTemplate()
{
    const auto &controls = m_pTemplate->controls;
    for (int index = 0; index < int(controls.size()); ++index) {
        const ControlTemplate &control = controls[index];
        QWidget *widget = CreateControl(control);
        widget->setObjectName(control.id == IDC_STATIC ? QStringLiteral("static%1").arg(index)
                                                       : QStringLiteral("ctl%1").arg(control.id));
        widget->setEnabled(!(control.style & CS_DISABLED));
        m_controls.insert(index, widget);
        if (control.id != IDC_STATIC && !m_byId.contains(control.id))
            m_byId.insert(control.id, widget);
    }
    SetTabOrder();
    SetAccessibleNames();
}

QWidget *CDialogBase::CreateControl(const ControlTemplate &control)
{
    const QString text = TemplateText(control);
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
        return CreateButton(control);
    case ControlKind::CheckBox:
        return new QCheckBox(text, this);
    case ControlKind::GroupBox: {
        // Only a frame: the controls inside it are the dialog's children,
        // and it lies beneath them.
        auto *group = new QGroupBox(text, this);
        group->lower();
        return group;
    }
    case ControlKind::Static: {
        auto *label = new CStatic(this);
        label->SetWindowText(text);
        label->setAlignment(((control.style & CS_RIGHT) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        label->setWordWrap(control.cy >= kMultiLineStaticHeight);
        return label;
    }
    case ControlKind::Edit:
        return CreateEdit(control);
    case ControlKind::RichEdit: {
        auto *editor = new CRichEditCtrl(this);
        editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return editor;
    }
    case ControlKind::ListBox: {
        auto *list = new CListBox((control.style & CS_SORT) != 0, this);
        if (control.style & CS_NOSEL)
            list->setSelectionMode(QAbstractItemView::NoSelection);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return list;
    }
    }
    Q_UNREACHABLE();
}

QWidget *CDialogBase::CreateButton(const ControlTemplate &control)
{
    auto *button = new QPushButton(TemplateText(control), this);
    // Not auto-default: QDialog would make the first such button it meets the
    // default of a dialog whose template has none, and draw it as such ever
    // after. keyPressEvent gives Enter to the focused button instead.
    button->setAutoDefault(false);
    if (control.kind == ControlKind::DefPushButton)
        button->setDefault(true);
    if (control.id == IDOK)
        connect(button, &QPushButton::clicked, this, &CDialogBase::OnOK);
    else if (control.id == IDCANCEL)
        connect(button, &QPushButton::clicked, this, &CDialogBase::OnCancel);
    return button;
}

QWidget *CDialogBase::CreateEdit(const ControlTemplate &control)
{
    if (control.style & CS_MULTILINE) {
        auto *edit = new QPlainTextEdit(this);
        edit->setReadOnly(true);
        // Read-only, yet still readable and selectable from the keyboard.
        edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setTabChangesFocus(true);
        return edit;
    }
    auto *edit = new QLineEdit(TemplateText(control), this);
    edit->setReadOnly((control.style & CS_READONLY) != 0);
    return edit;
}

void CDialogBase::SetTabOrder()
{
    QWidget *previous = nullptr;
    for (int index = 0; index < m_controls.size(); ++index) {
        QWidget *widget = m_controls.value(index);
        if (!(widget->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

void CDialogBase::SetAccessibleNames()
{
    const auto &controls = m_pTemplate->controls;
    for (int index = 0; index < int(controls.size()); ++index) {
        const ControlTemplate &control = controls[index];
        QWidget *widget = m_controls.value(index);
        if (NeedsLabel(control.kind))
            widget->setAccessibleName(FieldLabel(*m_pTemplate, control));
        else if (control.kind != ControlKind::Static)   // a CStatic names itself
            widget->setAccessibleName(TemplateText(control));
    }
}

// Fonts other than the one a layout was drawn with are relatively wider in
// running text than their average letter suggests, and the texts would be
// cut off. The horizontal unit grows until every caption fits its control,
// which widens the whole dialog evenly.
int CDialogBase::HorizontalUnitFittingTexts() const
{
    const QFontMetrics metrics(font());
    const int buttonChrome = 2 * (style()->pixelMetric(QStyle::PM_ButtonMargin)
                                  + style()->pixelMetric(QStyle::PM_DefaultFrameWidth));
    const auto &controls = m_pTemplate->controls;
    int unit = 0;
    for (int index = 0; index < int(controls.size()); ++index) {
        const ControlTemplate &control = controls[index];
        int needed = 0;
        if (control.kind == ControlKind::Static && control.cy < kMultiLineStaticHeight)
            needed = metrics.horizontalAdvance(TemplateText(control));
        else if (control.kind == ControlKind::CheckBox)
            needed = m_controls.value(index)->sizeHint().width();
        else if (control.kind == ControlKind::PushButton || control.kind == ControlKind::DefPushButton)
            needed = metrics.horizontalAdvance(TemplateText(control)) + buttonChrome;
        if (needed > 0 && control.cx > 0)
            unit = std::max(unit, (needed * 4 + control.cx - 1) / control.cx);
    }
    return unit;
}

void CDialogBase::LayoutFromTemplate()
{
    m_units = BaseUnitsForFont(font());
    m_units.bx = std::max(m_units.bx, HorizontalUnitFittingTexts());
    const auto &controls = m_pTemplate->controls;
    for (int index = 0; index < int(controls.size()); ++index) {
        const ControlTemplate &control = controls[index];
        QWidget *widget = m_controls.value(index);
        widget->setGeometry(MapDialogRect(m_units, control.x, control.y, control.cx, control.cy));
        // The editor draws its text in a font of its own.
        if (auto *editor = qobject_cast<CRichEditCtrl *>(widget))
            editor->setFont(font());
    }
    setFixedSize(MapDialogSize(m_units, m_pTemplate->cx, m_pTemplate->cy));
}

void CDialogBase::RunInitDialogOnce()
{
    if (m_bCreated)
        return;
    m_bCreated = true;
    OnInitDialog();
}

int CDialogBase::DoModal()
{
    RunInitDialogOnce();
    return exec();
}

bool CDialogBase::Create()
{
    RunInitDialogOnce();
    return true;
}

QWidget *CDialogBase::GetDlgItem(int id) const
{
    return m_byId.value(id, nullptr);
}

void CDialogBase::EnableDlgItem(int id, bool enable)
{
    if (QWidget *control = GetDlgItem(id))
        control->setEnabled(enable);
}

bool CDialogBase::IsDlgItemEnabled(int id) const
{
    const QWidget *control = GetDlgItem(id);
    return control && control->isEnabled();
}

QString CDialogBase::GetDlgItemText(int id) const
{
    return GetControlText(GetDlgItem(id));
}

void CDialogBase::SetDlgItemText(int id, const QString &text)
{
    if (QWidget *control = GetDlgItem(id))
        SetControlText(control, text);
}

bool CDialogBase::UpdateData(bool saveAndValidate)
{
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return true;
}

void CDialogBase::DoDataExchange(CDataExchange *)
{
}

bool CDialogBase::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void CDialogBase::OnOK()
{
    UpdateData(true);
    accept();
}

void CDialogBase::OnCancel()
{
    QDialog::reject();
}

void CDialogBase::reject()
{
    OnCancel();
}

QPushButton *CDialogBase::ButtonForEnter() const
{
    auto *focused = qobject_cast<QPushButton *>(focusWidget());
    if (focused && focused->parentWidget() == this)
        return focused;
    const auto &controls = m_pTemplate->controls;
    for (int index = 0; index < int(controls.size()); ++index) {
        if (controls[index].kind == ControlKind::DefPushButton)
            return qobject_cast<QPushButton *>(m_controls.value(index));
    }
    return nullptr;
}

void CDialogBase::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier)) {
        QDialog::keyPressEvent(event);
        return;
    }
    QPushButton *button = ButtonForEnter();
    if (button && button->isEnabled() && button->isVisible())
        button->click();
    event->accept();
}

void CDialogBase::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange && !m_controls.isEmpty())
        LayoutFromTemplate();
}
