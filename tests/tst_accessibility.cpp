// What assistive technology sees of the three windows, read through Qt's
// accessibility interface: a name for every control, the captions behind
// the details dialog's values, the status line announcing its changes, and
// the text of a large input as it ends.

#include "TesterDriver.h"

#include <QAccessible>
#include <QAccessibleEditableTextInterface>

#include <clocale>
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

// A text of about `size` bytes built from pieces whose decoding is known.
struct KnownText
{
    QByteArray bytes;
    QString shown;
};

KnownText Repeat(const QList<std::pair<QByteArray, QString>> &pieces, qsizetype size)
{
    KnownText text;
    for (qsizetype i = 0; text.bytes.size() < size; ++i) {
        const auto &[bytes, shown] = pieces[i % pieces.size()];
        text.bytes += bytes;
        text.shown += shown;
    }
    return text;
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

    // A reader stepping unit by unit, forwards from the start or backwards
    // from the end, meets every word and every character once.
    void readerStepsThroughUnits_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("units");
        QTest::newRow("words") << int(QAccessible::WordBoundary) << QByteArray("hello world, foo")
                               << QStringList{"hello", " ", "world", ",", " ", "foo"};
        QTest::newRow("characters") << int(QAccessible::CharBoundary) << QByteArray("ab\xc3\xa9")
                                    << QStringList{"a", "b", QString::fromUtf8("\xc3\xa9")};
    }
    void readerStepsThroughUnits()
    {
        QFETCH(int, unit);
        QFETCH(QByteArray, text);
        QFETCH(QStringList, units);
        const auto type = QAccessible::TextBoundaryType(unit);
        std::setlocale(LC_ALL, "C.UTF-8");
        CRichEditCtrl editor;
        std::setlocale(LC_ALL, "C");
        editor.setAccessibleName(QStringLiteral("Input"));
        editor.SetTextBytes(text);
        QAccessibleTextInterface *reader = QAccessible::queryAccessibleInterface(&editor)->textInterface();
        QStringList forwards, backwards;
        int start = 0, end = 0;
        // At most one step more than there are units: a reader that is stuck
        // gets the same unit again.
        for (QString piece = reader->textAtOffset(0, type, &start, &end);
             !piece.isEmpty() && forwards.size() <= units.size();
             piece = reader->textAfterOffset(start, type, &start, &end))
            forwards << piece;
        start = reader->characterCount();
        for (QString piece; backwards.size() <= units.size()
                            && !(piece = reader->textBeforeOffset(start, type, &start, &end)).isEmpty();)
            backwards.prepend(piece);
        QCOMPARE(forwards, units);
        QCOMPARE(backwards, units);
    }

    void largeInputReadsToTheEnd_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("inRows");   // a line too long to show whole
        const QString smile = QString::fromUtf8("\xf0\x9f\x98\x80");   // two UTF-16 units
        const QList<std::pair<QByteArray, QString>> utf8 = {
            {"lorem ", "lorem "}, {"\xc3\xa9t\xc3\xa9 ", QString::fromUtf8("\xc3\xa9t\xc3\xa9 ")},
            {"\xe6\x96\x87 ", QString::fromUtf8("\xe6\x96\x87 ")}, {"\xf0\x9f\x98\x80", smile},
            {"\xff\xc3", QString(2, QChar(0xFFFD))},   // bytes that start no character
        };
        const qsizetype size = 3 << 20;
        for (const bool lines : {true, false}) {
            auto pieces = utf8;
            if (lines)
                pieces.append(std::pair<QByteArray, QString>("\r\n", QStringLiteral("\r\n")));
            const KnownText text = Repeat(pieces, size);
            QTest::addRow("UTF-8, %s", lines ? "lines" : "one line") << QByteArray("C.UTF-8") << text.bytes
                                                                     << text.shown << !lines;
        }
        QByteArray bytes(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i)
            bytes[i] = char(i * 7 % 251);
        QTest::newRow("single-byte page, every byte")
            << QByteArray("C") << bytes << QString::fromLatin1(bytes) << false;
        bytes.replace('\n', '.').replace('\r', '.');
        QTest::newRow("single-byte page, one line") << QByteArray("C") << bytes << QString::fromLatin1(bytes) << true;
    }

    // What a screen reader reads at the end of a large input is what the
    // field holds there, and its offsets lead to the same places.
    void largeInputReadsToTheEnd()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QByteArray, text);
        QFETCH(QString, shown);
        QFETCH(bool, inRows);
        std::setlocale(LC_ALL, locale.constData());
        CRichEditCtrl editor;
        std::setlocale(LC_ALL, "C");
        editor.setAccessibleName(QStringLiteral("Input"));
        editor.SetTextBytes(text);
        QCOMPARE(editor.IsShownInRows(), inRows);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&editor);
        QAccessibleTextInterface *reader = iface->textInterface();
        QVERIFY(reader && iface->editableTextInterface());

        const int count = int(shown.size());
        QCOMPARE(reader->characterCount(), count);
        QCOMPARE(reader->text(count - 300, count), shown.right(300));
        editor.SetSel(text.size() - 1, -1);   // the last byte
        int start = 0, end = 0;
        reader->selection(0, &start, &end);
        QCOMPARE(QList<int>({start, end, reader->cursorPosition()}), QList<int>({count - 1, count, count}));
        const QString lastRow = reader->textAtOffset(count - 1, QAccessible::LineBoundary, &start, &end);
        QVERIFY(!lastRow.isEmpty());
        QCOMPARE(QList<int>({start, end}), QList<int>({count - int(lastRow.size()), count}));
        QCOMPARE(lastRow, shown.right(lastRow.size()));
        int before = 0;
        const QString rowBefore = reader->textBeforeOffset(start, QAccessible::LineBoundary, &before, &end);
        QCOMPARE(QList<int>({end, int(rowBefore.size())}), QList<int>({start, start - before}));
        QCOMPARE(rowBefore, shown.mid(before, start - before));

        reader->setCursorPosition(count - 1);
        iface->editableTextInterface()->insertText(count - 1, QStringLiteral("\u00e9!"));
        const QByteArray typed = locale == "C" ? QByteArray("\xe9!") : QByteArray("\xc3\xa9!");
        QVERIFY(editor.HasTextBytes(text.left(text.size() - 1) + typed + text.right(1)));
        QCOMPARE(reader->text(count - 1, count + 2), QStringLiteral("\u00e9!") + shown.right(1));
    }
};

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
