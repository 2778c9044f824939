// What assistive technology sees of the three windows, read through Qt's
// accessibility interface: a name for every control, the captions behind
// the details dialog's values, and the status line announcing its changes.

#include "TesterDriver.h"

#include "CFullInfoDlg.h"
#include "DialogTemplate.h"

#include <QAccessible>
#include <QTest>

#include <functional>
#include <optional>

#if PC_HAVE_QPA_ACCESSIBILITY
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#endif

namespace {

// Events reach an update handler only while accessibility is active, which
// the platform switches on when a screen reader is listening; that switch
// is not public API.
bool activateAccessibility()
{
#if PC_HAVE_QPA_ACCESSIBILITY
    if (QPlatformAccessibility *platform = QGuiApplicationPrivate::platformIntegration()->accessibility())
        platform->setActive(true);
#endif
    return QAccessible::isActive();
}

QString accessibleName(QWidget *widget)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// The names of the controls that label `widget`.
QStringList labelsOf(QWidget *widget)
{
    QStringList labels;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    for (const auto &[label, relation] : iface->relations(QAccessible::Label))
        labels << label->text(QAccessible::Name);
    return labels;
}

// Name changes of accessible objects, as a screen reader would hear of them.
QList<QPair<QObject *, QString>> g_nameChanges;

void recordNameChange(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::NameChanged)
        g_nameChanges.append({event->object(), event->accessibleInterface()->text(QAccessible::Name)});
}

constexpr const char *kNamedPattern = "(?<year>\\d{4})-(?<mon>\\d\\d)";

} // namespace

class tst_Accessibility : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void everyControlIsNamed_data();
    void everyControlIsNamed();
    void detailValuesAreLabelled_data();
    void detailValuesAreLabelled();
    void statusLineAnnouncesChanges();
};

void tst_Accessibility::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName() + " left open"));
}

void tst_Accessibility::everyControlIsNamed_data()
{
    QTest::addColumn<int>("templateId");
    QTest::newRow("tester window") << IDD_TESTER_DIALOG;
    QTest::newRow("subpattern list") << IDD_SUBPATTERNS_DIALOG;
    QTest::newRow("details") << IDD_FULLINFO_DIALOG;
}

void tst_Accessibility::everyControlIsNamed()
{
    QFETCH(int, templateId);
    TesterDriver t;
    t.typePattern(kNamedPattern);
    t.typeInput("on 2026-12 and 2027-01");
    t.click(IDC_EXEC);
    t.click(IDC_MORE);
    t.dlg->SubpatternList()->hide();
    CFullInfoDlg details(t.dlg.get());
    details.FillFromPattern(t.dlg->CompiledPattern(), t.dlg->StudyData(), t.pattern()->GetTextBytes());
    details.Create();
    const CDialogBase *windows[] = {t.dlg.get(), t.dlg->SubpatternList(), &details};
    const CDialogBase &window = **std::find_if(std::begin(windows), std::end(windows),
                                               [&](const CDialogBase *w) { return w->Template().id == templateId; });

    const auto &controls = window.Template().controls;
    for (int index = 0; index < int(controls.size()); ++index) {
        const ControlTemplate &control = controls[index];
        const QString name = accessibleName(window.ControlAt(index));
        const QString where = QStringLiteral("control %1 (%2)").arg(index).arg(control.id);
        QVERIFY2(!name.isEmpty(), qPrintable(where));
        const bool captioned = control.kind == ControlKind::PushButton || control.kind == ControlKind::DefPushButton
                               || control.kind == ControlKind::CheckBox || control.kind == ControlKind::GroupBox;
        if (captioned)
            QCOMPARE(name, QString::fromUtf8(control.text));
    }
}

void tst_Accessibility::detailValuesAreLabelled_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("label");
    QTest::newRow("back reference") << IDC_INFO_BACKREFMAX << "Number of the highest back reference:";
    QTest::newRow("captures") << IDC_INFO_CAPTURECOUNT << "Number of capturing supbatterns:";
    QTest::newRow("first byte") << IDC_INFO_FIRSTBYTE << "First byte in any matched string:";
    QTest::newRow("first table") << IDC_INFO_FIRSTTABLE << "The table for the first byte was created: ";
    QTest::newRow("last literal") << IDC_INFO_LASTLITERAL << "Rightmost byte in any matched string:";
    QTest::newRow("name count") << IDC_INFO_NAMECOUNT << "Number of named subpatterns:";
    QTest::newRow("entry size") << IDC_INFO_NAMEENTRYSIZE << "Length of an item in named subpatterns table:";
    QTest::newRow("size") << IDC_INFO_SIZE << "Size of the compiled pattern:";
    QTest::newRow("study size") << IDC_INFO_STUDYSIZE << "Size of the studied pattern:";
    QTest::newRow("pattern") << IDC_INFO_PATTERN << "Regular expression which were analyzed:";
    QTest::newRow("options") << IDC_INFO_OPTIONS << "Copy of the options:";
    QTest::newRow("names") << IDC_INFO_NAMES << "List of named subpatterns";
}

// A value is read out with its caption: either the caption is its name, or
// the caption is related to it as its label.
void tst_Accessibility::detailValuesAreLabelled()
{
    QFETCH(int, id);
    QFETCH(QString, label);
    TesterDriver t;
    t.typePattern(kNamedPattern);
    CFullInfoDlg details(t.dlg.get());
    details.Create();
    QWidget *value = details.GetDlgItem(id);
    QVERIFY2(accessibleName(value) == label || labelsOf(value).contains(label),
             qPrintable(accessibleName(value) + QLatin1String(" / ") + labelsOf(value).join(QLatin1Char('|'))));
}

void tst_Accessibility::statusLineAnnouncesChanges()
{
    TesterDriver t;
    if (!activateAccessibility())
        QSKIP("No way to switch accessibility on (Qt's private headers are missing)");
    const QAccessible::UpdateHandler previous = QAccessible::installUpdateHandler(recordNameChange);
    QObject *status = t.item(IDC_STATUS);
    // The last name announced for the status line after each step.
    auto lastAnnounced = [status]() -> std::optional<QString> {
        for (auto it = g_nameChanges.crbegin(); it != g_nameChanges.crend(); ++it) {
            if (it->first == status)
                return it->second;
        }
        return std::nullopt;
    };
    const std::function<void()> steps[] = {
        [&] { t.typePattern("(a"); },   // a compile error
        [&] { t.typePattern("a"); },    // clears the line
        [&] { t.typeInput("bab"); t.click(IDC_EXEC); },
    };
    QStringList shown;
    QList<std::optional<QString>> heard;
    for (const auto &step : steps) {
        g_nameChanges.clear();
        step();
        shown << t.status();
        heard << lastAnnounced();
    }
    QAccessible::installUpdateHandler(previous);
    QCOMPARE(heard, (QList<std::optional<QString>>{shown[0], shown[1], shown[2]}));
    QVERIFY(!shown[0].isEmpty() && shown[1].isEmpty() && !shown[2].isEmpty());
}

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
