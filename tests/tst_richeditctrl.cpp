// The rich edit field: bytes in and out unchanged in both code pages, change
// notification, red colouring that is no edit, and byte-position selection.

#include "NoWindowLeft.h"
#include "CRichEditCtrl.h"

#include <QApplication>
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
        for (const QByteArray locale : {"C.UTF-8", "C"}) {
            for (const QByteArray &bytes : {QByteArray(awkward, sizeof awkward - 1), QByteArray()}) {
                const auto editor = MakeEditor(locale, "previous text");
                QCOMPARE(editor->IsUtf8(), locale == "C.UTF-8");
                editor->SetTextBytes(bytes);
                QCOMPARE(editor->GetTextBytes(), bytes);
                QVERIFY(editor->HasTextBytes(bytes) && !editor->HasTextBytes(bytes + 'x'));
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
};

QTEST_MAIN(TestRichEditCtrl)
#include "tst_richeditctrl.moc"
