// Dialogs built from the three templates: controls, geometry in dialog
// units, tab order, accessible names, keyboard handling, the OK and Cancel
// paths and data exchange.

#include "CDialogBase.h"
#include "CListBox.h"
#include "CRichEditCtrl.h"
#include "CStatic.h"
#include "DataExchange.h"
#include "resource.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

namespace {

// A dialog that records which of its framework hooks ran.
class RecordingDialog : public CDialogBase
{
public:
    explicit RecordingDialog(int templateId) : CDialogBase(templateId) {}

    int initCount = 0;
    int okCount = 0;
    int cancelCount = 0;
    int saveCount = 0;

    bool m_bCaseless = false;
    QString m_strLocale;
    QString m_strStatus;
    QByteArray m_strInput;
    CRichEditCtrl *m_reditInput = nullptr;

protected:
    void DoDataExchange(CDataExchange *pDX) override
    {
        if (Template().id != IDD_TESTER_DIALOG)
            return;
        saveCount += pDX->m_bSaveAndValidate ? 1 : 0;
        DDX_Control(pDX, IDC_INPUT, m_reditInput);
        DDX_Check(pDX, IDC_CASELESS, m_bCaseless);
        DDX_Text(pDX, IDC_LOCALE, m_strLocale);
        DDX_Text(pDX, IDC_STATUS, m_strStatus);
        DDX_Text(pDX, IDC_INPUT, m_strInput);
    }
    bool OnInitDialog() override
    {
        ++initCount;
        return CDialogBase::OnInitDialog();
    }
    void OnOK() override
    {
        ++okCount;
        CDialogBase::OnOK();
    }
    void OnCancel() override
    {
        ++cancelCount;
        CDialogBase::OnCancel();
    }
};

const char *ExpectedClass(const ControlTemplate &control)
{
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: return "QPushButton";
    case ControlKind::CheckBox: return "QCheckBox";
    case ControlKind::GroupBox: return "QGroupBox";
    case ControlKind::Static: return "CStatic";
    case ControlKind::Edit: return (control.style & CS_MULTILINE) ? "QPlainTextEdit" : "QLineEdit";
    case ControlKind::RichEdit: return "CRichEditCtrl";
    case ControlKind::ListBox: return "CListBox";
    }
    return "";
}

QList<QWidget *> FocusableInTemplateOrder(const CDialogBase &dialog)
{
    QList<QWidget *> focusable;
    for (int index = 0; index < int(dialog.Template().controls.size()); ++index) {
        QWidget *widget = dialog.ControlAt(index);
        if (widget->focusPolicy() & Qt::TabFocus)
            focusable.append(widget);
    }
    return focusable;
}

// Every caption is shown whole: statics and buttons are as wide as their
// text, check boxes as their box and text together.
void VerifyTextsFit(const CDialogBase &dialog)
{
    const QFontMetrics metrics(dialog.font());
    const auto &controls = dialog.Template().controls;
    for (int index = 0; index < int(controls.size()); ++index) {
        const ControlTemplate &control = controls[index];
        const QWidget *widget = dialog.ControlAt(index);
        int needed = 0;
        if (control.kind == ControlKind::Static && !qobject_cast<const QLabel *>(widget)->wordWrap())
            needed = metrics.horizontalAdvance(QString::fromUtf8(control.text));
        else if (control.kind == ControlKind::CheckBox)
            needed = widget->sizeHint().width();
        else if (control.kind == ControlKind::PushButton || control.kind == ControlKind::DefPushButton)
            needed = metrics.horizontalAdvance(QString::fromUtf8(control.text));
        QVERIFY2(widget->width() >= needed,
                 qPrintable(QStringLiteral("%1: %2 < %3").arg(control.text).arg(widget->width()).arg(needed)));
    }
}

void ShowAndActivate(QWidget &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

} // namespace

class TestDialogBase : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void controlsFollowTheirTemplate_data();
    void controlsFollowTheirTemplate();
    void controlStyles();
    void unknownIdsHaveNoControl();
    void windowStyle_data();
    void windowStyle();
    void tabOrderIsTemplateOrder_data();
    void tabOrderIsTemplateOrder();
    void accessibleNames_data();
    void accessibleNames();
    void staticNameFollowsText();
    void mapDialogRect_data();
    void mapDialogRect();
    void baseUnitsOfMonospaceFont_data();
    void baseUnitsOfMonospaceFont();
    void textsFitTheirControls_data();
    void textsFitTheirControls();
    void largerFontRemapsLayout();
    void enterOnFieldDoesNotClose_data();
    void enterOnFieldDoesNotClose();
    void enterOnFocusedButtonPressesIt();
    void enterPressesTemplateDefaultButton();
    void escapeAndCloseBoxGoThroughOnCancel();
    void cancelButtonCallsOnCancel();
    void okButtonSavesAndHides();
    void doModalAndCreateInitialiseOnce();
    void updateDataRoundTrip();
    void unchangedBytesAreNotRewritten();
    void applicationIconSizes();
};

void TestDialogBase::cleanup()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        QVERIFY2(!window->isVisible(), qPrintable(window->windowTitle()));
}

static void AddTemplateRows(const std::function<void(const DialogTemplate &)> &addRows)
{
    for (int id : {IDD_TESTER_DIALOG, IDD_FULLINFO_DIALOG, IDD_SUBPATTERNS_DIALOG})
        addRows(*FindDialogTemplate(id));
}

void TestDialogBase::controlsFollowTheirTemplate_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<int>("index");
    AddTemplateRows([](const DialogTemplate &dialogTemplate) {
        for (int index = 0; index < int(dialogTemplate.controls.size()); ++index) {
            QTest::addRow("%d/%d %s", dialogTemplate.id, index, dialogTemplate.controls[index].text)
                << dialogTemplate.id << index;
        }
    });
}

void TestDialogBase::controlsFollowTheirTemplate()
{
    QFETCH(int, templateId);
    QFETCH(int, index);

    RecordingDialog dialog(templateId);
    const ControlTemplate &control = dialog.Template().controls[index];
    QWidget *widget = dialog.ControlAt(index);

    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), &dialog);
    QCOMPARE(widget->metaObject()->className(), ExpectedClass(control));
    QCOMPARE(widget->objectName(), control.id == IDC_STATIC ? QStringLiteral("static%1").arg(index)
                                                            : QStringLiteral("ctl%1").arg(control.id));
    QCOMPARE(GetControlText(widget), QString::fromUtf8(control.text));
    QCOMPARE(widget->isEnabled(), !(control.style & CS_DISABLED));
    QCOMPARE(widget->geometry(),
             MapDialogRect(dialog.BaseUnits(), control.x, control.y, control.cx, control.cy));
    QVERIFY(dialog.rect().contains(widget->geometry()));
    if (control.id != IDC_STATIC)
        QCOMPARE(dialog.GetDlgItem(control.id), widget);
}

void TestDialogBase::controlStyles()
{
    RecordingDialog tester(IDD_TESTER_DIALOG);
    QVERIFY(qobject_cast<QLineEdit *>(tester.GetDlgItem(IDC_LIBRARY_PATH))->isReadOnly());
    QVERIFY(!qobject_cast<QLineEdit *>(tester.GetDlgItem(IDC_LOCALE))->isReadOnly());
    QVERIFY(qobject_cast<CStatic *>(tester.GetDlgItem(IDC_STATUS))->wordWrap());
    QVERIFY(!qobject_cast<CStatic *>(tester.ControlAt(2))->wordWrap());
    auto *input = qobject_cast<CRichEditCtrl *>(tester.GetDlgItem(IDC_INPUT));
    QCOMPARE(input->SendScintilla(QsciScintillaBase::SCI_GETHSCROLLBAR), 0L);
    QCOMPARE(input->SendScintilla(QsciScintillaBase::SCI_GETWRAPMODE),
             long(QsciScintillaBase::SC_WRAP_WORD));
    QCOMPARE(input->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    for (int margin = 0; margin < input->margins(); ++margin)
        QCOMPARE(input->marginWidth(margin), 0);

    RecordingDialog details(IDD_FULLINFO_DIALOG);
    QVERIFY(qobject_cast<QPlainTextEdit *>(details.GetDlgItem(IDC_INFO_OPTIONS))->isReadOnly());
    auto *value = qobject_cast<CStatic *>(details.GetDlgItem(IDC_INFO_SIZE));
    QCOMPARE(value->alignment(), Qt::AlignRight | Qt::AlignTop);
    QCOMPARE(value->textFormat(), Qt::PlainText);
    auto *names = qobject_cast<CListBox *>(details.GetDlgItem(IDC_INFO_NAMES));
    QCOMPARE(names->selectionMode(), QAbstractItemView::NoSelection);
    names->AddString("2 mon");
    QCOMPARE(names->AddString("1 year"), 0);   // sorted

    RecordingDialog subpatterns(IDD_SUBPATTERNS_DIALOG);
    auto *list = qobject_cast<CListBox *>(subpatterns.GetDlgItem(IDC_SUBPATTERN_LIST));
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(qobject_cast<QPushButton *>(subpatterns.GetDlgItem(IDOK))->isDefault());
}

void TestDialogBase::unknownIdsHaveNoControl()
{
    RecordingDialog dialog(IDD_SUBPATTERNS_DIALOG);
    QCOMPARE(dialog.GetDlgItem(IDCANCEL), nullptr);
    QCOMPARE(dialog.GetDlgItem(IDC_STATIC), nullptr);
    QCOMPARE(dialog.GetDlgItemText(4711), QString());
    dialog.SetDlgItemText(4711, QStringLiteral("ignored"));
    QVERIFY(!dialog.IsDlgItemEnabled(4711));
}

void TestDialogBase::windowStyle_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<int>("windowType");
    QTest::addColumn<QString>("caption");
    QTest::newRow("tester") << IDD_TESTER_DIALOG << int(Qt::Dialog)
                            << QStringLiteral("Checker for PCRE.dll and regular expressions.");
    QTest::newRow("details") << IDD_FULLINFO_DIALOG << int(Qt::Dialog)
                             << QStringLiteral("Full info about a regular expression.");
    QTest::newRow("subpatterns") << IDD_SUBPATTERNS_DIALOG << int(Qt::Tool)
                                 << QStringLiteral("List of matched subpatterns");
}

void TestDialogBase::windowStyle()
{
    QFETCH(int, templateId);
    QFETCH(int, windowType);
    QFETCH(QString, caption);

    RecordingDialog dialog(templateId);
    QCOMPARE(dialog.windowTitle(), caption);
    const Qt::WindowFlags flags = dialog.windowFlags();
    QCOMPARE(int(flags & Qt::WindowType_Mask), windowType);
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    const QSize size = MapDialogSize(dialog.BaseUnits(), dialog.Template().cx, dialog.Template().cy);
    QCOMPARE(dialog.minimumSize(), size);
    QCOMPARE(dialog.maximumSize(), size);
}

void TestDialogBase::tabOrderIsTemplateOrder_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<QStringList>("expectedOrder");
    QTest::newRow("tester") << IDD_TESTER_DIALOG
                            << QStringList{"ctl2", "ctl1000", "ctl1001", "ctl1003", "ctl1004",
                                           "ctl1005", "ctl1006", "ctl1007", "ctl1008", "ctl1009",
                                           "ctl1012", "ctl1013", "ctl1014", "ctl1016", "ctl1021",
                                           "ctl1022", "ctl1023", "ctl1024", "ctl1017"};
    QTest::newRow("details") << IDD_FULLINFO_DIALOG
                             << QStringList{"ctl1", "ctl1017", "ctl1018", "ctl1019"};
    QTest::newRow("subpatterns") << IDD_SUBPATTERNS_DIALOG << QStringList{"ctl1", "ctl1018"};
}

void TestDialogBase::tabOrderIsTemplateOrder()
{
    QFETCH(int, templateId);
    QFETCH(QStringList, expectedOrder);

    RecordingDialog dialog(templateId);
    const QList<QWidget *> focusable = FocusableInTemplateOrder(dialog);
    QStringList order;
    for (QWidget *widget : focusable)
        order.append(widget->objectName());
    QCOMPARE(order, expectedOrder);

    // Following the focus chain from each control, the next control met is
    // the next one of the template (inner widgets may lie in between).
    for (int i = 0; i + 1 < focusable.size(); ++i) {
        QWidget *next = focusable[i]->nextInFocusChain();
        while (!focusable.contains(next) && next != focusable[i])
            next = next->nextInFocusChain();
        QCOMPARE(next->objectName(), focusable[i + 1]->objectName());
    }
}

void TestDialogBase::accessibleNames_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("path field") << IDD_TESTER_DIALOG << "ctl1000" << "Load  PCRE.dll:";
    QTest::newRow("locale field") << IDD_TESTER_DIALOG << "ctl1009" << "Locale:";
    QTest::newRow("pattern") << IDD_TESTER_DIALOG << "ctl1023" << "Regular expression to be tested.";
    QTest::newRow("input") << IDD_TESTER_DIALOG << "ctl1022" << "Input text.";
    QTest::newRow("button") << IDD_TESTER_DIALOG << "ctl2" << "Cancel";
    QTest::newRow("check box") << IDD_TESTER_DIALOG << "ctl1024" << "Highlight matches";
    QTest::newRow("label") << IDD_TESTER_DIALOG << "static13" << "Input text.";
    QTest::newRow("group") << IDD_TESTER_DIALOG << "static4" << "Global modifiers";
    QTest::newRow("analysed pattern") << IDD_FULLINFO_DIALOG << "ctl1017"
                                      << "Regular expression which were analyzed:";
    QTest::newRow("options") << IDD_FULLINFO_DIALOG << "ctl1019" << "Copy of the options:";
    QTest::newRow("names") << IDD_FULLINFO_DIALOG << "ctl1018" << "List of named subpatterns";
    QTest::newRow("subpattern list") << IDD_SUBPATTERNS_DIALOG << "ctl1018"
                                     << "List of matched subpatterns";
    QTest::newRow("close") << IDD_SUBPATTERNS_DIALOG << "ctl1" << "Close";
}

void TestDialogBase::accessibleNames()
{
    QFETCH(int, templateId);
    QFETCH(QString, control);
    QFETCH(QString, name);

    RecordingDialog dialog(templateId);
    auto *widget = dialog.findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(widget->accessibleName(), name);
}

void TestDialogBase::staticNameFollowsText()
{
    RecordingDialog dialog(IDD_TESTER_DIALOG);
    auto *status = qobject_cast<CStatic *>(dialog.GetDlgItem(IDC_STATUS));

    dialog.SetDlgItemText(IDC_STATUS, QStringLiteral("Match found!"));
    QCOMPARE(status->text(), QStringLiteral("Match found!"));
    QCOMPARE(status->accessibleName(), QStringLiteral("Match found!"));

    dialog.SetDlgItemText(IDC_STATUS, QString());
    QCOMPARE(status->accessibleName(), QString());
}

void TestDialogBase::mapDialogRect_data()
{
    QTest::addColumn<int>("bx");
    QTest::addColumn<int>("by");
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QRect>("pixels");
    // x * bx / 4 and y * by / 8, halves rounded away from zero.
    QTest::newRow("6x13 label") << 6 << 13 << QRect(7, 10, 51, 8) << QRect(11, 16, 77, 13);
    QTest::newRow("6x13 input") << 6 << 13 << QRect(7, 134, 306, 79) << QRect(11, 218, 459, 128);
    QTest::newRow("7x16 exact") << 7 << 16 << QRect(8, 4, 12, 8) << QRect(14, 8, 21, 16);
    QTest::newRow("5x12 halves") << 5 << 12 << QRect(2, 1, 6, 3) << QRect(3, 2, 8, 5);
    QTest::newRow("negative halves") << 6 << 12 << QRect(-1, -1, 1, 1) << QRect(-2, -2, 2, 2);
    QTest::newRow("below half") << 5 << 13 << QRect(1, 1, 1, 3) << QRect(1, 2, 1, 5);
}

void TestDialogBase::mapDialogRect()
{
    QFETCH(int, bx);
    QFETCH(int, by);
    QFETCH(QRect, units);
    QFETCH(QRect, pixels);

    const DialogBaseUnits base{bx, by};
    QCOMPARE(MapDialogRect(base, units.x(), units.y(), units.width(), units.height()), pixels);
    QCOMPARE(MapDialogSize(base, units.width(), units.height()), pixels.size());
}

void TestDialogBase::baseUnitsOfMonospaceFont_data()
{
    QTest::addColumn<int>("pixelSize");
    for (int pixelSize : {9, 13, 17, 24})
        QTest::addRow("%d px", pixelSize) << pixelSize;
}

void TestDialogBase::baseUnitsOfMonospaceFont()
{
    QFETCH(int, pixelSize);

    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(pixelSize);
    if (!QFontInfo(font).fixedPitch())
        QSKIP(qPrintable(QFontInfo(font).family() + QStringLiteral(" has no fixed pitch")));
    // Every letter of a fixed-pitch font has the same advance, so their
    // average is one letter's advance.
    const QFontMetrics metrics(font);
    const DialogBaseUnits units = BaseUnitsForFont(font);
    QCOMPARE(units.bx, metrics.horizontalAdvance(QLatin1Char('W')));
    QCOMPARE(units.by, metrics.height());
}

void TestDialogBase::textsFitTheirControls_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<QString>("family");
    for (const char *family : {"DejaVu Sans", "DejaVu Serif", "Nimbus Sans Narrow", "URW Bookman"}) {
        QTest::addRow("tester, %s", family) << IDD_TESTER_DIALOG << QString::fromLatin1(family);
        QTest::addRow("details, %s", family) << IDD_FULLINFO_DIALOG << QString::fromLatin1(family);
    }
}

void TestDialogBase::textsFitTheirControls()
{
    QFETCH(int, templateId);
    QFETCH(QString, family);

    RecordingDialog dialog(templateId);
    dialog.setFont(QFont(family, 10));
    VerifyTextsFit(dialog);
    // Fitting widens the dialog evenly: only the horizontal unit grows.
    QCOMPARE(dialog.BaseUnits().by, BaseUnitsForFont(dialog.font()).by);
    QVERIFY(dialog.BaseUnits().bx >= BaseUnitsForFont(dialog.font()).bx);
}

void TestDialogBase::largerFontRemapsLayout()
{
    RecordingDialog dialog(IDD_TESTER_DIALOG);
    const DialogBaseUnits before = dialog.BaseUnits();
    QFont larger = dialog.font();
    larger.setPointSizeF(larger.pointSizeF() * 2);

    dialog.setFont(larger);

    const DialogBaseUnits after = dialog.BaseUnits();
    QVERIFY(after.bx >= BaseUnitsForFont(larger).bx);
    QCOMPARE(after.by, BaseUnitsForFont(larger).by);
    QVERIFY(after.bx > before.bx && after.by > before.by);
    VerifyTextsFit(dialog);
    QCOMPARE(dialog.size(), MapDialogSize(after, 320, 254));
    const ControlTemplate &input = dialog.Template().controls[20];
    QCOMPARE(dialog.GetDlgItem(IDC_INPUT)->geometry(),
             MapDialogRect(after, input.x, input.y, input.cx, input.cy));
    auto *editor = qobject_cast<CRichEditCtrl *>(dialog.GetDlgItem(IDC_INPUT));
    QCOMPARE(editor->font().pointSizeF(), larger.pointSizeF());
}

void TestDialogBase::enterOnFieldDoesNotClose_data()
{
    QTest::addColumn<int>("controlId");
    QTest::addColumn<int>("key");
    QTest::newRow("check box, Return") << IDC_CASELESS << int(Qt::Key_Return);
    QTest::newRow("check box, Enter") << IDC_HIGHLIGHT << int(Qt::Key_Enter);
    QTest::newRow("locale field") << IDC_LOCALE << int(Qt::Key_Return);
    QTest::newRow("read-only path field") << IDC_LIBRARY_PATH << int(Qt::Key_Return);
}

void TestDialogBase::enterOnFieldDoesNotClose()
{
    QFETCH(int, controlId);
    QFETCH(int, key);

    RecordingDialog dialog(IDD_TESTER_DIALOG);
    dialog.EnableDlgItem(controlId, true);
    ShowAndActivate(dialog);
    // Visit the buttons first, as a user tabbing through the window would.
    dialog.GetDlgItem(IDCANCEL)->setFocus();
    dialog.GetDlgItem(IDC_BROWSE)->setFocus();
    QWidget *field = dialog.GetDlgItem(controlId);
    field->setFocus();
    QVERIFY(field->hasFocus());
    // No button is drawn as the default either, since Enter presses none.
    for (const QPushButton *button : dialog.findChildren<QPushButton *>())
        QVERIFY2(!button->isDefault(), qPrintable(button->text()));

    QTest::keyClick(field, Qt::Key(key));

    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.okCount + dialog.cancelCount, 0);
    dialog.hide();
}

void TestDialogBase::enterOnFocusedButtonPressesIt()
{
    RecordingDialog dialog(IDD_TESTER_DIALOG);
    ShowAndActivate(dialog);
    QWidget *cancel = dialog.GetDlgItem(IDCANCEL);
    cancel->setFocus();

    QTest::keyClick(cancel, Qt::Key_Return);

    QCOMPARE(dialog.cancelCount, 1);
    QVERIFY(!dialog.isVisible());
}

void TestDialogBase::enterPressesTemplateDefaultButton()
{
    RecordingDialog dialog(IDD_FULLINFO_DIALOG);
    ShowAndActivate(dialog);
    QWidget *options = dialog.GetDlgItem(IDC_INFO_OPTIONS);
    options->setFocus();

    QTest::keyClick(options, Qt::Key_Return);

    QCOMPARE(dialog.okCount, 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
}

void TestDialogBase::escapeAndCloseBoxGoThroughOnCancel()
{
    RecordingDialog dialog(IDD_SUBPATTERNS_DIALOG);
    ShowAndActivate(dialog);
    QTest::keyClick(dialog.GetDlgItem(IDC_SUBPATTERN_LIST), Qt::Key_Escape);
    QCOMPARE(dialog.cancelCount, 1);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    ShowAndActivate(dialog);
    dialog.close();
    QCOMPARE(dialog.cancelCount, 2);
    QVERIFY(!dialog.isVisible());
}

void TestDialogBase::cancelButtonCallsOnCancel()
{
    RecordingDialog dialog(IDD_TESTER_DIALOG);
    dialog.show();
    qobject_cast<QPushButton *>(dialog.GetDlgItem(IDCANCEL))->click();
    QCOMPARE(dialog.cancelCount, 1);
    QCOMPARE(dialog.okCount, 0);
    QVERIFY(!dialog.isVisible());
}

void TestDialogBase::okButtonSavesAndHides()
{
    RecordingDialog dialog(IDD_SUBPATTERNS_DIALOG);
    dialog.Create();
    dialog.show();
    qobject_cast<QPushButton *>(dialog.GetDlgItem(IDOK))->click();
    QCOMPARE(dialog.okCount, 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
}

void TestDialogBase::doModalAndCreateInitialiseOnce()
{
    RecordingDialog modal(IDD_TESTER_DIALOG);
    auto clickCancelSoon = [&modal] {
        QTimer::singleShot(0, &modal, [&modal] {
            qobject_cast<QPushButton *>(modal.GetDlgItem(IDCANCEL))->click();
        });
    };
    clickCancelSoon();
    QCOMPARE(modal.DoModal(), int(QDialog::Rejected));
    clickCancelSoon();
    QCOMPARE(modal.DoModal(), int(QDialog::Rejected));
    QCOMPARE(modal.initCount, 1);
    QCOMPARE(modal.cancelCount, 2);

    RecordingDialog modeless(IDD_SUBPATTERNS_DIALOG);
    QVERIFY(!modeless.IsCreated());
    QVERIFY(modeless.Create());
    QVERIFY(modeless.Create());
    QVERIFY(modeless.IsCreated());
    QCOMPARE(modeless.initCount, 1);
    QVERIFY(!modeless.isVisible());
}

void TestDialogBase::updateDataRoundTrip()
{
    const QByteArray input("a\r\nb\0\xe9", 6);
    RecordingDialog dialog(IDD_TESTER_DIALOG);
    dialog.m_bCaseless = true;
    dialog.m_strLocale = QStringLiteral("de_DE.ISO-8859-1");
    dialog.m_strStatus = QStringLiteral("First, load PCRE.dll...");
    dialog.m_strInput = input;

    dialog.UpdateData(false);

    QCOMPARE(dialog.m_reditInput, dialog.GetDlgItem(IDC_INPUT));
    QVERIFY(qobject_cast<QCheckBox *>(dialog.GetDlgItem(IDC_CASELESS))->isChecked());
    QCOMPARE(dialog.GetDlgItemText(IDC_LOCALE), dialog.m_strLocale);
    QCOMPARE(dialog.GetDlgItemText(IDC_STATUS), dialog.m_strStatus);
    QCOMPARE(dialog.m_reditInput->GetTextBytes(), input);

    qobject_cast<QCheckBox *>(dialog.GetDlgItem(IDC_CASELESS))->setChecked(false);
    qobject_cast<QLineEdit *>(dialog.GetDlgItem(IDC_LOCALE))->setText(QStringLiteral("C"));
    dialog.SetDlgItemText(IDC_STATUS, QStringLiteral("Not match."));
    dialog.m_reditInput->SetTextBytes("\xff\xfe");

    QVERIFY(dialog.UpdateData(true));

    QVERIFY(!dialog.m_bCaseless);
    QCOMPARE(dialog.m_strLocale, QStringLiteral("C"));
    QCOMPARE(dialog.m_strStatus, QStringLiteral("Not match."));
    QCOMPARE(dialog.m_strInput, QByteArray("\xff\xfe"));
    QCOMPARE(dialog.saveCount, 1);
}

void TestDialogBase::unchangedBytesAreNotRewritten()
{
    RecordingDialog dialog(IDD_TESTER_DIALOG);
    dialog.m_strInput = "some input";
    dialog.UpdateData(false);
    dialog.m_reditInput->SetEventMask(true);
    dialog.m_reditInput->SetSel(5, 7);
    QSignalSpy changes(dialog.m_reditInput, &CRichEditCtrl::changeNotified);

    dialog.UpdateData(false);
    QCOMPARE(changes.count(), 0);
    qint64 start = 0;
    qint64 end = 0;
    dialog.m_reditInput->GetSel(start, end);
    QCOMPARE(start, 5);
    QCOMPARE(end, 7);

    dialog.m_strInput = "other input";
    dialog.UpdateData(false);
    QCOMPARE(changes.count(), 1);
}

void TestDialogBase::applicationIconSizes()
{
    Q_INIT_RESOURCE(icons);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QPixmap pixmap(QStringLiteral(":/icons/pcrechecker-%1.png").arg(size));
        QCOMPARE(pixmap.size(), QSize(size, size));
    }
    QVERIFY(QFile::exists(QStringLiteral(":/icons/pcrechecker.svg")));
}

QTEST_MAIN(TestDialogBase)
#include "tst_dialogbase.moc"
