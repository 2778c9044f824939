// The rich edit field: bytes in and out unchanged in both code pages, change
// notification, red colouring that is no edit, and byte-position selection.

#include "NoWindowLeft.h"
#include "CRichEditCtrl.h"
#include "RowCutter.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QtTest>

#include <clocale>
#include <memory>

namespace {

// The editor's code page follows the locale it is built under.
std::unique_ptr<CRichEditCtrl> MakeEditor(const QByteArray &locale, const QByteArray &text)
{
    std::setlocale(LC_ALL, locale.constData());
    auto editor = std::make_unique<CRichEditCtrl>();
    std::setlocale(LC_ALL, "C");
    editor->SetTextBytes(text);
    return editor;
}

bool CanUndo(const CRichEditCtrl &editor) { return editor.SendScintilla(QsciScintillaBase::SCI_CANUNDO) != 0; }

} // namespace

class TestRichEditCtrl : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        verifyNoWindowLeftOpen();
    }

    void bytesRoundTrip()
    {
        static const char awkward[] = "line\r\nlone\rcr\0nul \xe9 \xff\xc3";
        // A line too long to show whole is shown in rows.
        const QByteArray longLine = "\r\n" + QByteArray("\xc3\xa9t\xc3\xa9\0\xff ", 8).repeated(1500) + "\r";
        for (const QByteArray locale : {"C.UTF-8", "C"}) {
            for (const QByteArray &bytes : {QByteArray(awkward, sizeof awkward - 1), QByteArray(), longLine}) {
                const auto editor = MakeEditor(locale, "previous text");
                QCOMPARE(editor->IsUtf8(), locale == "C.UTF-8");
                editor->SetTextBytes(bytes);
                QCOMPARE(editor->GetTextBytes(), bytes);
                QCOMPARE(editor->TextView(), bytes);
                QVERIFY(editor->HasTextBytes(bytes) && !editor->HasTextBytes(bytes + 'x'));
                QCOMPARE(editor->IsShownInRows(), bytes == longLine);
            }
        }
    }

    void typingNotifiesAndTabLeaves()
    {
        QWidget window;
        auto *editor = new CRichEditCtrl(&window);
        auto *next = new QWidget(&window);
        next->setFocusPolicy(Qt::TabFocus);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        editor->setFocus();
        QSignalSpy changes(editor, &CRichEditCtrl::changeNotified);
        QTest::keyClicks(editor, "ab");
        QVERIFY(CanUndo(*editor));
        QCOMPARE(changes.count(), 0);   // mask off

        editor->SetEventMask(true);
        editor->SetTextBytes("new");   // one notification, though two edits inside; no undo step
        QVERIFY(!CanUndo(*editor));
        QTest::keyClicks(editor, "cd");
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);   // types a tab
        QCOMPARE(changes.count(), 5);
        QTest::keyClick(editor, Qt::Key_Tab);   // leaves the field
        QVERIFY(next->hasFocus());
        QCOMPARE(editor->GetTextBytes(), QByteArray("c\tnew"));
        window.hide();
    }

    void colouringIsNoEdit()
    {
        const QByteArray text("0123456789\r\n\xe9\xff" "defghij");
        const auto editor = MakeEditor("C", text);
        editor->SetEventMask(true);
        QSignalSpy changes(editor.get(), &CRichEditCtrl::changeNotified);
        for (const auto &[start, end] : {std::pair{2, 4}, {10, 14}, {13, 16}}) {
            editor->SetSel(start, end);
            editor->SetSelectionColorRed();
        }
        QString red;
        for (qint64 pos = 0; pos < editor->GetTextLength(); ++pos)
            red += editor->IsColoredRed(pos) ? 'r' : '.';
        QCOMPARE(red, QStringLiteral("..rr......rrrrrr....."));
        editor->SetAllColorAuto();
        QVERIFY(!editor->IsColoredRed(2) && !editor->IsColoredRed(15));
        QVERIFY(changes.isEmpty() && !CanUndo(*editor) && editor->HasTextBytes(text));
    }

    void selection_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<qint64>>("selection");   // as set, then as read back
        const QByteArray hello("h\xc3\xa9llo"), smile("a\xf0\x9f\x98\x80z");   // é at 1..2; a 4-byte character at 1..4
        QTest::newRow("start inside") << true << hello << QList<qint64>{2, 4, 1, 4};
        QTest::newRow("end inside") << true << smile << QList<qint64>{0, 3, 0, 5};
        QTest::newRow("empty inside") << true << smile << QList<qint64>{4, 4, 1, 1};
        QTest::newRow("invalid bytes stand alone") << true << QByteArray("a\xc3z\xa9" "b") << QList<qint64>{2, 4, 2, 4};
        QTest::newRow("LF of a CR LF alone") << true << QByteArray("a\r\nb") << QList<qint64>{2, 3, 2, 3};
        QTest::newRow("single-byte page") << false << hello << QList<qint64>{2, 2, 2, 2};
        QTest::newRow("to the end") << true << hello << QList<qint64>{3, -1, 3, 6};
        QTest::newRow("reversed, past the end") << false << hello << QList<qint64>{99, 3, 3, 6};
        // A long line without spaces is shown in rows of kRowBytes.
        const QByteArray longLine = QByteArray("abcdefghij").repeated(600);
        const qint64 row = CRowCutter::kRowBytes;
        QTest::newRow("across a row's end") << false << longLine
                                            << QList<qint64>{row - 24, row + 76, row - 24, row + 76};
        QTest::newRow("to a row's end") << false << longLine << QList<qint64>{row - 24, row, row - 24, row};
        QTest::newRow("from a row's start") << false << longLine << QList<qint64>{row, row + 6, row, row + 6};
    }

    void selection()
    {
        QFETCH(bool, utf8);
        QFETCH(QByteArray, text);
        QFETCH(QList<qint64>, selection);
        const auto editor = MakeEditor(utf8 ? "C.UTF-8" : "C", text);
        editor->SetSel(selection[0], selection[1]);
        qint64 start = -5, end = -5;
        editor->GetSel(start, end);
        QCOMPARE(QList<qint64>({start, end}), selection.mid(2));
    }

    // In a long line shown in rows, keys and the clipboard work on the
    // bytes, not on the breaks between the rows.
    void editingInRows_data()
    {
        QTest::addColumn<QList<qint64>>("selection");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QList<qint64>>("replaced");   // start, length
        QTest::addColumn<QByteArray>("by");
        const qint64 row = CRowCutter::kRowBytes;   // where the first row ends
        QTest::newRow("Backspace at a row's start") << QList<qint64>{row, row} << QKeySequence(Qt::Key_Backspace)
                                                    << QList<qint64>{row - 1, 1} << QByteArray();
        QTest::newRow("Delete at a row's end") << QList<qint64>{row - 24, row - 24}
                                               << QKeySequence(Qt::Key_End, Qt::Key_Delete) << QList<qint64>{row, 1}
                                               << QByteArray();
        QTest::newRow("typing across a row's end") << QList<qint64>{row - 24, row + 76} << QKeySequence(Qt::Key_Q)
                                                   << QList<qint64>{row - 24, 100} << QByteArray("q");
        QTest::newRow("typing at the end") << QList<qint64>{6000, 6000} << QKeySequence(Qt::Key_Q)
                                           << QList<qint64>{6000, 0} << QByteArray("q");
        QTest::newRow("copy across a row's end") << QList<qint64>{row - 24, row + 76}
                                                 << QKeySequence(QKeySequence::Copy) << QList<qint64>{0, 0}
                                                 << QByteArray();
        QTest::newRow("Ctrl+Tab across a row's end") << QList<qint64>{row - 24, row + 76}
                                                     << QKeySequence(Qt::ControlModifier | Qt::Key_Tab)
                                                     << QList<qint64>{row - 24, 100} << QByteArray("\t");
        // Line and case commands of the editor component are not a field's.
        for (const char *keys : {"Ctrl+D", "Ctrl+U", "Ctrl+Shift+U", "Ctrl+T", "Ctrl+L", "Ctrl+Shift+L",
                                 "Ctrl+Shift+T", "Ctrl+Shift+Del", "Ctrl+Shift+Backspace"}) {
            QTest::addRow("%s across a row's end", keys) << QList<qint64>{row - 24, row + 76}
                                                         << QKeySequence(QString::fromLatin1(keys))
                                                         << QList<qint64>{0, 0} << QByteArray();
        }
    }
    void editingInRows()
    {
        QFETCH(QList<qint64>, selection);
        QFETCH(QKeySequence, keys);
        QFETCH(QList<qint64>, replaced);
        QFETCH(QByteArray, by);
        QByteArray text = QByteArray("abcdefghij").repeated(600);
        QWidget window;
        std::setlocale(LC_ALL, "C");
        auto *editor = new CRichEditCtrl(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        editor->setFocus();
        editor->SetTextBytes(text);
        QVERIFY(editor->IsShownInRows());
        QApplication::clipboard()->clear();
        editor->SetSel(selection[0], selection[1]);
        QTest::keySequence(editor, keys);
        const QByteArray copied = QApplication::clipboard()->text().toLatin1();
        QCOMPARE(copied, keys == QKeySequence::Copy ? text.mid(selection[0], 100) : QByteArray());
        QCOMPARE(editor->GetTextBytes(), text.replace(replaced[0], replaced[1], by));
        window.hide();
    }

    // Pasting and dropping give back the bytes that were copied, line ends
    // and NUL bytes too, into a plain text or one shown in rows, and leave
    // the pasted bytes after the caret, or the dropped ones selected. A
    // block selection is pasted over as the plain one between its corners;
    // a read-only field keeps its bytes and its selection.
    void pasteAndDropKeepBytes_data()
    {
        QTest::addColumn<QByteArray>("copied");
        QTest::addColumn<QByteArray>("into");
        QTest::addColumn<int>("way");          // 0 paste(), 1 Ctrl+V, 2 a drop
        QTest::addColumn<QString>("selection");   // before: "caret", "block" or "read-only"
        const QByteArray longLine = QByteArray("abcdefghij").repeated(600);
        const QByteArray awkward("a\rb\nc\r\nd\0e", 10);
        const char *ways[] = {"paste", "Ctrl+V", "drop"};
        for (int way = 0; way < 3; ++way) {
            QTest::addRow("line ends and NUL, %s", ways[way]) << awkward << QByteArray("x") << way << "caret";
            QTest::addRow("into rows, %s", ways[way]) << awkward << longLine << way << "caret";
            QTest::addRow("a long line with a CR, %s", ways[way])
                << longLine + '\r' + longLine << QByteArray() << way << "caret";
            QTest::addRow("read-only, %s", ways[way]) << awkward << longLine << way << "read-only";
        }
        for (int way = 0; way < 2; ++way)
            QTest::addRow("block, %s", ways[way]) << awkward << QByteArray("abcdef\nghijkl\nmnopqr") << way << "block";
    }
    void pasteAndDropKeepBytes()
    {
        QFETCH(QByteArray, copied);
        QFETCH(QByteArray, into);
        QFETCH(int, way);
        QFETCH(QString, selection);
        QWidget window;
        std::setlocale(LC_ALL, "C");
        auto *editor = new CRichEditCtrl(&window);
        editor->resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        editor->setFocus();
        editor->SetTextBytes(copied);
        editor->SetSel(0, -1);
        editor->copy();
        editor->SetTextBytes(into);
        editor->SetSel(0, 0);   // the drop lands at the top left
        editor->setReadOnly(selection == "read-only");
        qint64 replaced = 0;
        if (selection == "block") {   // from the second byte of the first line to the third of the last
            editor->SendScintilla(QsciScintillaBase::SCI_SETRECTANGULARSELECTIONANCHOR, 1UL);
            editor->SendScintilla(QsciScintillaBase::SCI_SETRECTANGULARSELECTIONCARET, 16UL);
            replaced = 15;
        }
        qint64 at = selection == "block" ? 1 : 0;
        if (way == 0)
            editor->paste();
        if (way == 1)
            QTest::keySequence(editor, QKeySequence::Paste);
        if (way == 2) {   // a drop goes where the drag entered
            const QMimeData *mime = QApplication::clipboard()->mimeData();
            QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(editor->viewport(), &enter);
            QDropEvent drop(QPointF(1, 1), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(editor->viewport(), &drop);
        }
        qint64 start = -1, end = -1;
        editor->GetSel(start, end);
        if (selection == "read-only") {
            QCOMPARE(editor->GetTextBytes(), into);
            QCOMPARE(QList<qint64>({start, end}), QList<qint64>({0, 0}));
        } else {
            QCOMPARE(editor->GetTextBytes(), into.left(at) + copied + into.mid(at + replaced));
            const qint64 size = copied.size();
            QCOMPARE(QList<qint64>({start, end}), way == 2 ? QList<qint64>({at, at + size})
                                                           : QList<qint64>({at + size, at + size}));
        }
        window.hide();
    }

    // Word wrap up to a length, none beyond (with a horizontal scroll bar),
    // and back when a short text replaces a long one.
    void wrapFollowsLength()
    {
        const auto editor = MakeEditor("C", "short");
        QCOMPARE(editor->wrapMode(), QsciScintilla::WrapWord);
        editor->SetTextBytes(QByteArray(CRichEditCtrl::kMaxWrappedLength + 1, 'x'));
        QCOMPARE(editor->wrapMode(), QsciScintilla::WrapNone);
        QCOMPARE(editor->SendScintilla(QsciScintillaBase::SCI_GETHSCROLLBAR), 1L);
        editor->SetTextBytes("short again");
        QCOMPARE(editor->wrapMode(), QsciScintilla::WrapWord);
        QCOMPARE(editor->SendScintilla(QsciScintillaBase::SCI_GETHSCROLLBAR), 0L);
    }

    // A text is shown when the field and the memory can hold it: twice the
    // text (the engine's copy of rows) and something left for the system.
    void roomForText_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("availableMB");   // -1: not known
        QTest::addColumn<bool>("shown");
        constexpr qint64 MB = 1 << 20;
        QTest::newRow("small file, small machine") << 10LL << 200LL << true;
        QTest::newRow("twice the text and a quarter") << 60 * MB << 150LL << false;
        QTest::newRow("large text, large machine") << 1024 * MB << 3072LL << true;
        QTest::newRow("not 256 MB left") << 1420 * MB << 3072LL << false;
        QTest::newRow("memory not known") << 1024 * MB << -1LL << true;
        QTest::newRow("past the field") << CRichEditCtrl::kMostBytesShown + 1 << -1LL << false;
    }
    void roomForText()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, availableMB);
        const qint64 available = availableMB < 0 ? -1 : availableMB << 20;
        QTEST(CRichEditCtrl::WhyNotShown(size, available).isEmpty(), "shown");
    }
};

QTEST_MAIN(TestRichEditCtrl)
#include "tst_richeditctrl.moc"
