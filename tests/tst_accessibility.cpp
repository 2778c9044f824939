// What assistive technology sees of the three windows, read through Qt's
// accessibility interface: a name for every control, the captions behind
// the details dialog's values, and the status line announcing its changes.

#include "TesterDriver.h"

#include <QAccessible>

#include <functional>

#if PC_HAVE_QPA_ACCESSIBILITY
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#endif

namespace {

// Name changes of the status line, as a screen reader would hear of them.
QObject *g_status = nullptr;
QStringList g_heard;

void recordNameChange(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::NameChanged && event->object() == g_status)
        g_heard << event->accessibleInterface()->text(QAccessible::Name);
}

} // namespace

class tst_Accessibility : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { verifyNoWindowLeftOpen(); }

    // A captioned control is named by its caption; a value of the details
    // dialog is named by what it shows and labelled by its caption.
    void everyControlIsNamed()
    {
        ThreeWindows windows;
        for (int templateId : {IDD_TESTER_DIALOG, IDD_SUBPATTERNS_DIALOG, IDD_FULLINFO_DIALOG}) {
            const CDialogBase &window = windows.byTemplate(templateId);
            const auto &controls = window.Template().controls;
            for (int index = 0; index < int(controls.size()); ++index) {
                QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(window.ControlAt(index));
                const QString name = iface->text(QAccessible::Name);
                QVERIFY2(!name.isEmpty(), qPrintable(window.ControlAt(index)->objectName()));
                const ControlKind kind = controls[index].kind;
                if (kind == ControlKind::PushButton || kind == ControlKind::DefPushButton
                    || kind == ControlKind::CheckBox || kind == ControlKind::GroupBox)
                    QCOMPARE(name, QString::fromUtf8(controls[index].text));
                else if (templateId == IDD_FULLINFO_DIALOG && kind == ControlKind::Static
                         && controls[index].id != IDC_STATIC)
                    QVERIFY2(!iface->relations(QAccessible::Label).isEmpty(), qPrintable(name));
            }
        }
        QStringList labels;   // of the back reference value
        for (const auto &[label, relation] : QAccessible::queryAccessibleInterface(
                 windows.details.GetDlgItem(IDC_INFO_BACKREFMAX))->relations(QAccessible::Label))
            labels << label->text(QAccessible::Name);
        QCOMPARE(labels, QStringList{"Number of the highest back reference:"});
    }

    // Each change is announced once, as the new text, also when the line is
    // emptied.
    void statusLineAnnouncesChanges()
    {
        TesterDriver t;
#if PC_HAVE_QPA_ACCESSIBILITY
        // Events reach an update handler only while accessibility is active,
        // which the platform switches on for a screen reader.
        if (QPlatformAccessibility *platform = QGuiApplicationPrivate::platformIntegration()->accessibility())
            platform->setActive(true);
#endif
        if (!QAccessible::isActive())
            QSKIP("No way to switch accessibility on (Qt's private headers are missing)");
        g_status = t.item(IDC_STATUS);
        const QAccessible::UpdateHandler previous = QAccessible::installUpdateHandler(recordNameChange);
        const std::function<void()> steps[] = {
            [&] { t.typePattern("(a"); },   // a compile error
            [&] { t.typePattern("a"); },    // clears the line
            [&] { t.typeInput("bab"); t.click(IDC_EXEC); },
        };
        QList<QStringList> shown, heard;
        for (const auto &step : steps) {
            g_heard.clear();
            step();
            shown << QStringList{t.status()};
            heard << g_heard;
        }
        QAccessible::installUpdateHandler(previous);
        QCOMPARE(heard, shown);
        QVERIFY(!shown[0][0].isEmpty() && shown[1][0].isEmpty() && !shown[2][0].isEmpty());
    }
};

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
