// Dialogs built from the three templates: controls, geometry in dialog
// units, tab order, accessible names, keyboard handling, the OK and Cancel
// paths and data exchange.

#include "NoWindowLeft.h"
#include "CDialogBase.h"
#include "CRichEditCtrl.h"
#include "DataExchange.h"
#include "DialogTemplates.h"
#include "resource.h"

#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A dialog that records which of its framework hooks ran.
struct RecordingDialog : CDialogBase
{
    explicit RecordingDialog(int templateId) : CDialogBase(LoadDialogTemplate(templateId)) {}
    int initCount = 0, okCount = 0, cancelCount = 0;
    bool m_bCaseless = false;
    QString m_strLocale;
    QByteArray m_strInput;
    CRichEditCtrl *m_reditInput = nullptr;

    void DoDataExchange(CDataExchange *pDX) override
    {
        if (Template().id != IDD_TESTER_DIALOG)
            return;
        DDX_Control(pDX, IDC_INPUT, m_reditInput);
        DDX_Check(pDX, IDC_CASELESS, m_bCaseless);
        DDX_Text(pDX, IDC_LOCALE, m_strLocale);
        DDX_Text(pDX, IDC_INPUT, m_strInput);
    }
    bool OnInitDialog() override { ++initCount; return CDialogBase::OnInitDialog(); }
    void OnOK() override { ++okCount; CDialogBase::OnOK(); }
    void OnCancel() override { ++cancelCount; CDialogBase::OnCancel(); }
};

QString accessibleName(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

} // namespace

class TestDialogBase : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        verifyNoWindowLeftOpen();
    }

    // Where the controls stand, in dialog units, as the layouts give them:
    // written out here, not read from the templates, so a changed template
    // shows.
    void layouts_data()
    {
        QTest::addColumn<int>("templateId");
        QTest::addColumn<int>("id");    // IDC_STATIC: the dialog itself
        QTest::addColumn<QRect>("units");
        QTest::newRow("tester") << IDD_TESTER_DIALOG << IDC_STATIC << QRect(0, 0, 320, 254);
        QTest::newRow("Cancel") << IDD_TESTER_DIALOG << IDCANCEL << QRect(239, 233, 74, 14);
        QTest::newRow("library path") << IDD_TESTER_DIALOG << IDC_LIBRARY_PATH << QRect(64, 7, 193, 14);
        QTest::newRow("Browse...") << IDD_TESTER_DIALOG << IDC_BROWSE << QRect(266, 7, 47, 14);
        QTest::newRow("/i") << IDD_TESTER_DIALOG << IDC_CASELESS << QRect(15, 40, 21, 10);
        QTest::newRow("Locale:") << IDD_TESTER_DIALOG << IDC_LOCALE_CHECK << QRect(178, 40, 39, 10);
        QTest::newRow("locale") << IDD_TESTER_DIALOG << IDC_LOCALE << QRect(220, 37, 85, 14);
        QTest::newRow("Exec") << IDD_TESTER_DIALOG << IDC_EXEC << QRect(7, 233, 50, 14);
        QTest::newRow("status") << IDD_TESTER_DIALOG << IDC_STATUS << QRect(7, 215, 306, 18);
        QTest::newRow("details") << IDD_TESTER_DIALOG << IDC_DETAILS << QRect(232, 58, 81, 12);
        QTest::newRow("Load from file...") << IDD_TESTER_DIALOG << IDC_LOAD_PATTERN << QRect(115, 58, 59, 12);
        QTest::newRow("pattern") << IDD_TESTER_DIALOG << IDC_PATTERN << QRect(7, 72, 306, 49);
        QTest::newRow("input") << IDD_TESTER_DIALOG << IDC_INPUT << QRect(7, 134, 306, 79);
        QTest::newRow("Highlight matches") << IDD_TESTER_DIALOG << IDC_HIGHLIGHT << QRect(231, 123, 82, 10);
        QTest::newRow("list window") << IDD_SUBPATTERNS_DIALOG << IDC_STATIC << QRect(0, 0, 124, 123);
        QTest::newRow("Close") << IDD_SUBPATTERNS_DIALOG << IDOK << QRect(37, 102, 50, 14);
        QTest::newRow("list") << IDD_SUBPATTERNS_DIALOG << IDC_SUBPATTERN_LIST << QRect(7, 7, 110, 89);
        QTest::newRow("details window") << IDD_FULLINFO_DIALOG << IDC_STATIC << QRect(0, 0, 413, 161);
        QTest::newRow("OK") << IDD_FULLINFO_DIALOG << IDOK << QRect(210, 140, 61, 14);
        QTest::newRow("analyzed pattern") << IDD_FULLINFO_DIALOG << IDC_INFO_PATTERN << QRect(7, 18, 179, 38);
        QTest::newRow("options") << IDD_FULLINFO_DIALOG << IDC_INFO_OPTIONS << QRect(275, 15, 131, 59);
        QTest::newRow("names") << IDD_FULLINFO_DIALOG << IDC_INFO_NAMES << QRect(294, 112, 112, 42);
        QTest::newRow("studied size") << IDD_FULLINFO_DIALOG << IDC_INFO_STUDYSIZE << QRect(96, 146, 92, 8);
    }
    void layouts()
    {
        QFETCH(int, templateId);
        QFETCH(int, id);
        QFETCH(QRect, units);
        RecordingDialog dialog(templateId);
        const QRect expected = MapDialogRect(dialog.BaseUnits(), units.x(), units.y(), units.width(), units.height());
        if (id == IDC_STATIC)
            QCOMPARE(dialog.minimumSize(), expected.size());
        else
            QCOMPARE(dialog.GetDlgItem(id)->geometry(), expected);
    }

    void buildsFromTemplate_data()
    {
        QTest::addColumn<int>("templateId");
        QTest::addColumn<QFont>("font");
        QTest::addColumn<QStringList>("fieldNames");   // accessible names of the fields, in template order
        const QStringList tester{"Load  PCRE.dll:", "Locale:", "Input text.", "Regular expression to be tested."};
        const QStringList details{"Regular expression which were analyzed:", "List of named subpatterns",
                                  "Copy of the options:"};
        QTest::newRow("tester") << IDD_TESTER_DIALOG << QFont() << tester;
        QTest::newRow("details") << IDD_FULLINFO_DIALOG << QFont() << details;
        QTest::newRow("subpatterns") << IDD_SUBPATTERNS_DIALOG << QFont() << QStringList{"List of matched subpatterns"};
        QTest::newRow("tester, DejaVu Serif 20") << IDD_TESTER_DIALOG << QFont("DejaVu Serif", 20) << tester;
        QTest::newRow("details, URW Bookman 10") << IDD_FULLINFO_DIALOG << QFont("URW Bookman", 10) << details;
    }

    void buildsFromTemplate()
    {
        QFETCH(int, templateId);
        QFETCH(QFont, font);
        QFETCH(QStringList, fieldNames);
        RecordingDialog dialog(templateId);
        dialog.setFont(font);   // re-maps the layout
        const DialogTemplate &dialogTemplate = dialog.Template();
        const DialogBaseUnits units = dialog.BaseUnits();
        QCOMPARE(MapDialogRect({5, 12}, -2, 1, 6, 3), QRect(-3, 2, 8, 5));   // halves away from zero
        // Fitting the captions widens the dialog evenly: only the horizontal unit grows.
        QCOMPARE(units.by, BaseUnitsForFont(font).by);
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8(dialogTemplate.caption));
        const Qt::WindowFlags buttons = Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint;
        QCOMPARE(dialog.windowFlags() & (Qt::WindowType_Mask | buttons),
                 (templateId == IDD_SUBPATTERNS_DIALOG ? Qt::Tool : Qt::Dialog) | Qt::WindowCloseButtonHint);
        const QSize size = MapDialogSize(units, dialogTemplate.cx, dialogTemplate.cy);
        QVERIFY(dialog.minimumSize() == size && dialog.maximumSize() == size);
        QWidgetList focusable;
        for (int index = 0; index < int(dialogTemplate.controls.size()); ++index) {
            const ControlTemplate &control = dialogTemplate.controls[index];
            QWidget *widget = dialog.ControlAt(index);
            QCOMPARE(GetControlText(widget), QString::fromUtf8(control.text));
            QCOMPARE(widget->isEnabled(), !(control.style & CS_DISABLED));
            QVERIFY2(dialog.rect().contains(widget->geometry()), control.text);
            QCOMPARE(dialog.GetDlgItem(control.id), control.id == IDC_STATIC ? nullptr : widget);
            if (control.kind == ControlKind::Edit)
                QCOMPARE(widget->property("readOnly").toBool(), bool(control.style & CS_READONLY));
            const bool field = control.kind == ControlKind::Edit || control.kind == ControlKind::RichEdit
                               || control.kind == ControlKind::ListBox;
            QCOMPARE(accessibleName(widget), field ? fieldNames.takeFirst() : QString::fromUtf8(control.text));
            const bool takesFocus = control.kind != ControlKind::Static && control.kind != ControlKind::GroupBox;
            QCOMPARE(bool(widget->focusPolicy() & Qt::TabFocus), takesFocus);
            if (takesFocus)
                focusable << widget;
        }
        QVERIFY(fieldNames.isEmpty());
        if (auto *editor = dialog.findChild<CRichEditCtrl *>())
            QCOMPARE(editor->font(), dialog.font());
        dialog.SetDlgItemText(IDC_STATUS, QStringLiteral("Match found!"));   // the tester's status line
        if (QWidget *status = dialog.GetDlgItem(IDC_STATUS))
            QCOMPARE(accessibleName(status), QStringLiteral("Match found!"));
        // Tab goes through the controls in template order (inner widgets may
        // lie in between).
        QWidgetList order{focusable.first()};
        for (QWidget *next = order[0]->nextInFocusChain(); next != order[0]; next = next->nextInFocusChain())
            order << next;
        order.removeIf([&](QWidget *widget) { return !focusable.contains(widget); });
        QCOMPARE(order, focusable);
    }

    void keys_data()
    {
        QTest::addColumn<int>("templateId");
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("key");       // 0: the close box
        QTest::addColumn<int>("pressed");   // the button that ran; 0: none
        QTest::newRow("Return on a check box") << IDD_TESTER_DIALOG << IDC_CASELESS << int(Qt::Key_Return) << 0;
        QTest::newRow("Enter in a field") << IDD_TESTER_DIALOG << IDC_LOCALE << int(Qt::Key_Enter) << 0;
        QTest::newRow("Return, read-only field") << IDD_TESTER_DIALOG << IDC_LIBRARY_PATH << int(Qt::Key_Return) << 0;
        QTest::newRow("Return on Cancel") << IDD_TESTER_DIALOG << IDCANCEL << int(Qt::Key_Return) << IDCANCEL;
        QTest::newRow("Escape") << IDD_TESTER_DIALOG << IDC_CASELESS << int(Qt::Key_Escape) << IDCANCEL;
        QTest::newRow("close box") << IDD_SUBPATTERNS_DIALOG << IDC_SUBPATTERN_LIST << 0 << IDCANCEL;
        QTest::newRow("template default") << IDD_FULLINFO_DIALOG << IDC_INFO_OPTIONS << int(Qt::Key_Return) << IDOK;
    }

    void keys()
    {
        QFETCH(int, templateId);
        QFETCH(int, focus);
        QFETCH(int, key);
        QFETCH(int, pressed);
        RecordingDialog dialog(templateId);
        dialog.EnableDlgItem(focus, true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        // Visit the buttons first, as a user tabbing through the window would;
        // the tester has no default button, nor is one drawn as such after.
        for (QPushButton *button : dialog.findChildren<QPushButton *>())
            button->setFocus();
        dialog.GetDlgItem(focus)->setFocus();
        for (const QPushButton *button : dialog.findChildren<QPushButton *>())
            QVERIFY(!button->isDefault() || templateId != IDD_TESTER_DIALOG);
        if (key)
            QTest::keyClick(dialog.GetDlgItem(focus), Qt::Key(key));
        else
            dialog.close();
        QCOMPARE(QList<int>({dialog.okCount, dialog.cancelCount}), QList<int>({pressed == IDOK, pressed == IDCANCEL}));
        QCOMPARE(dialog.isVisible(), !pressed);
        dialog.hide();
    }

    void dataExchange()
    {
        const QByteArray input("a\r\nb\0\xe9", 6);
        RecordingDialog dialog(IDD_TESTER_DIALOG);
        dialog.m_bCaseless = true;
        dialog.m_strLocale = QStringLiteral("de_DE.ISO-8859-1");
        dialog.m_strInput = input;
        for (int run = 0; run < 2; ++run) {   // the first run initialises: members to controls
            QTimer::singleShot(0, &dialog, &QDialog::reject);
            QCOMPARE(dialog.DoModal(), int(QDialog::Rejected));
        }
        QCOMPARE(dialog.initCount, 1);
        QVERIFY(dialog.GetDlgItem(IDC_CASELESS)->property("checked").toBool());
        QCOMPARE(dialog.GetDlgItemText(IDC_LOCALE), dialog.m_strLocale);
        QCOMPARE(dialog.m_reditInput->GetTextBytes(), input);

        // An unchanged field is not written again, which would be an edit.
        dialog.m_reditInput->SetEventMask(true);
        QSignalSpy changes(dialog.m_reditInput, &CRichEditCtrl::changeNotified);
        dialog.UpdateData(false);
        QVERIFY(changes.isEmpty());

        dialog.GetDlgItem(IDC_CASELESS)->setProperty("checked", false);
        dialog.SetDlgItemText(IDC_LOCALE, QStringLiteral("C"));
        dialog.m_reditInput->SetTextBytes("\xff\xfe");
        QVERIFY(dialog.UpdateData(true));
        QVERIFY(!dialog.m_bCaseless && dialog.m_strLocale == "C" && dialog.m_strInput == "\xff\xfe");
    }
};

QTEST_MAIN(TestDialogBase)
#include "tst_dialogbase.moc"
