// The rich edit field: bytes in and out unchanged in both code pages, change
// notification, red colouring that is no edit, and byte-position selection.

#include "CRichEditCtrl.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

#include <clocale>
#include <memory>

namespace {

const char *const kUtf8Locale = "C.UTF-8";
const char *const kByteLocale = "C";

// Builds the editor under the given locale, which fixes its code page.
std::unique_ptr<CRichEditCtrl> MakeEditor(const char *locale)
{
    std::setlocale(LC_ALL, locale);
    auto editor = std::make_unique<CRichEditCtrl>();
    std::setlocale(LC_ALL, "C");
    return editor;
}

bool CanUndo(const CRichEditCtrl &editor)
{
    return editor.SendScintilla(QsciScintillaBase::SCI_CANUNDO) != 0;
}

QList<bool> RedMap(const CRichEditCtrl &editor)
{
    QList<bool> map;
    for (qint64 pos = 0; pos < editor.GetTextLength(); ++pos)
        map.append(editor.IsColoredRed(pos));
    return map;
}

QList<bool> RedMapFor(qint64 length, const QList<QPair<int, int>> &ranges)
{
    QList<bool> map(length, false);
    for (const auto &[start, end] : ranges) {
        for (int pos = start; pos < end; ++pos)
            map[pos] = true;
    }
    return map;
}

} // namespace

class TestRichEditCtrl : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void codePageFollowsLocale_data();
    void codePageFollowsLocale();
    void bytesRoundTrip_data();
    void bytesRoundTrip();
    void setTextNotifiesOnceWhenMaskOn_data();
    void setTextNotifiesOnceWhenMaskOn();
    void typingNotifiesOnlyWhenMaskOn();
    void setTextIsNotUndoable();
    void colouringIsNoEdit();
    void colouredRanges();
    void selectionWidensToWholeCharacters_data();
    void selectionWidensToWholeCharacters();
    void selectionClampsAndOrders_data();
    void selectionClampsAndOrders();
    void selectionVisibleWithoutFocus();
    void tabLeavesTheField();
};

void TestRichEditCtrl::cleanup()
{
    std::setlocale(LC_ALL, "C");
    for (QWidget *window : QApplication::topLevelWidgets())
        QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
}

void TestRichEditCtrl::codePageFollowsLocale_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("UTF-8 locale") << QByteArray(kUtf8Locale) << true;
    QTest::newRow("C locale") << QByteArray(kByteLocale) << false;
}

void TestRichEditCtrl::codePageFollowsLocale()
{
    QFETCH(QByteArray, locale);
    QFETCH(bool, utf8);

    const auto editor = MakeEditor(locale.constData());
    QCOMPARE(editor->IsUtf8(), utf8);
    QCOMPARE(editor->SendScintilla(QsciScintillaBase::SCI_GETCODEPAGE),
             utf8 ? long(QsciScintillaBase::SC_CP_UTF8) : 0L);
}

void TestRichEditCtrl::bytesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("bytes");

    static const char awkwardBytes[] = "line\r\nlone\rcr\0nul \xe9 \xff\xc3";
    const QByteArray awkward(awkwardBytes, sizeof awkwardBytes - 1);
    const QByteArray wellFormed("h\xc3\xa9llo\nw\xc3\xb6rld\t\xf0\x9f\x98\x80");
    for (const char *locale : {kUtf8Locale, kByteLocale}) {
        QTest::addRow("awkward bytes, %s", locale) << QByteArray(locale) << awkward;
        QTest::addRow("UTF-8 text, %s", locale) << QByteArray(locale) << wellFormed;
        QTest::addRow("empty, %s", locale) << QByteArray(locale) << QByteArray();
        QTest::addRow("only NUL, %s", locale) << QByteArray(locale) << QByteArray(3, '\0');
    }
}

void TestRichEditCtrl::bytesRoundTrip()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, bytes);

    const auto editor = MakeEditor(locale.constData());
    editor->SetTextBytes("previous text");
    editor->SetTextBytes(bytes);

    QCOMPARE(editor->GetTextLength(), bytes.size());
    QCOMPARE(editor->GetTextBytes(), bytes);
    QVERIFY(editor->HasTextBytes(bytes));
    QVERIFY(!editor->HasTextBytes(bytes + 'x'));
}

void TestRichEditCtrl::setTextNotifiesOnceWhenMaskOn_data()
{
    QTest::addColumn<bool>("mask");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("expected");
    QTest::newRow("mask on, replacing") << true << QByteArray("old") << 1;
    QTest::newRow("mask on, into empty") << true << QByteArray() << 1;
    QTest::newRow("mask off") << false << QByteArray("old") << 0;
}

void TestRichEditCtrl::setTextNotifiesOnceWhenMaskOn()
{
    QFETCH(bool, mask);
    QFETCH(QByteArray, before);
    QFETCH(int, expected);

    const auto editor = MakeEditor(kUtf8Locale);
    editor->SetTextBytes(before);
    editor->SetEventMask(mask);
    QSignalSpy changes(editor.get(), &CRichEditCtrl::changeNotified);

    editor->SetTextBytes("new text");

    QCOMPARE(changes.count(), expected);
    QCOMPARE(editor->GetEventMask(), mask);
}

void TestRichEditCtrl::typingNotifiesOnlyWhenMaskOn()
{
    const auto editor = MakeEditor(kUtf8Locale);
    QSignalSpy changes(editor.get(), &CRichEditCtrl::changeNotified);

    QTest::keyClicks(editor.get(), "ab");
    QCOMPARE(changes.count(), 0);

    editor->SetEventMask(true);
    QTest::keyClicks(editor.get(), "cd");
    QTest::keyClick(editor.get(), Qt::Key_Backspace);
    QCOMPARE(changes.count(), 3);
    QCOMPARE(editor->GetTextBytes(), QByteArray("abc"));
}

void TestRichEditCtrl::setTextIsNotUndoable()
{
    const auto editor = MakeEditor(kUtf8Locale);
    QTest::keyClicks(editor.get(), "typed");
    QVERIFY(CanUndo(*editor));

    editor->SetTextBytes("loaded");

    QVERIFY(!CanUndo(*editor));
    editor->SendScintilla(QsciScintillaBase::SCI_UNDO);
    QCOMPARE(editor->GetTextBytes(), QByteArray("loaded"));
}

void TestRichEditCtrl::colouringIsNoEdit()
{
    const QByteArray text("abc\r\n\xe9\xff def");
    const auto editor = MakeEditor(kByteLocale);
    editor->SetTextBytes(text);
    editor->SetEventMask(true);
    QSignalSpy changes(editor.get(), &CRichEditCtrl::changeNotified);

    editor->SetSel(1, 8);
    editor->SetSelectionColorRed();
    editor->SetAllColorAuto();
    editor->SetSel(0, -1);
    editor->SetSelectionColorRed();

    QCOMPARE(changes.count(), 0);
    QCOMPARE(editor->GetTextBytes(), text);
    QVERIFY(!CanUndo(*editor));
}

void TestRichEditCtrl::colouredRanges()
{
    const auto editor = MakeEditor(kUtf8Locale);
    editor->SetTextBytes("0123456789abcdefghij");
    const QList<QPair<int, int>> ranges{{2, 4}, {7, 8}, {10, 14}, {13, 16}, {19, 20}};
    for (const auto &[start, end] : ranges) {
        editor->SetSel(start, end);
        editor->SetSelectionColorRed();
    }
    QCOMPARE(RedMap(*editor), RedMapFor(20, ranges));

    // Colouring leaves the selection where it was.
    qint64 start = 0;
    qint64 end = 0;
    editor->GetSel(start, end);
    QCOMPARE(start, 19);
    QCOMPARE(end, 20);

    editor->SetAllColorAuto();
    QCOMPARE(RedMap(*editor), RedMapFor(20, {}));
}

void TestRichEditCtrl::selectionWidensToWholeCharacters_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<qint64>("expectedStart");
    QTest::addColumn<qint64>("expectedEnd");

    const QByteArray hello("h\xc3\xa9llo");                       // é is bytes 1..2
    const QByteArray smile("a\xf0\x9f\x98\x80z");                 // one 4-byte character
    const QByteArray broken("a\xc3z\xa9" "b");                      // lone lead and trail bytes
    const QByteArray utf8(kUtf8Locale);
    QTest::newRow("start inside") << utf8 << hello << 2LL << 4LL << 1LL << 4LL;
    QTest::newRow("end inside") << utf8 << hello << 0LL << 2LL << 0LL << 3LL;
    QTest::newRow("both inside one char") << utf8 << hello << 2LL << 2LL << 1LL << 1LL;
    QTest::newRow("on boundaries") << utf8 << hello << 1LL << 3LL << 1LL << 3LL;
    QTest::newRow("end of text") << utf8 << hello << 3LL << -1LL << 3LL << 6LL;
    QTest::newRow("4-byte, start at 2") << utf8 << smile << 2LL << 5LL << 1LL << 5LL;
    QTest::newRow("4-byte, end at 3") << utf8 << smile << 0LL << 3LL << 0LL << 5LL;
    QTest::newRow("4-byte, empty at 4") << utf8 << smile << 4LL << 4LL << 1LL << 1LL;
    QTest::newRow("invalid bytes stand alone") << utf8 << broken << 2LL << 4LL << 2LL << 4LL;
    QTest::newRow("single-byte page") << QByteArray(kByteLocale) << hello << 2LL << 2LL << 2LL << 2LL;
    QTest::newRow("single-byte page, end") << QByteArray(kByteLocale) << smile << 2LL << 3LL << 2LL << 3LL;
}

void TestRichEditCtrl::selectionWidensToWholeCharacters()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, text);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(qint64, expectedStart);
    QFETCH(qint64, expectedEnd);

    const auto editor = MakeEditor(locale.constData());
    editor->SetTextBytes(text);
    editor->SetSel(start, end);

    qint64 gotStart = -5;
    qint64 gotEnd = -5;
    editor->GetSel(gotStart, gotEnd);
    QCOMPARE(gotStart, expectedStart);
    QCOMPARE(gotEnd, expectedEnd);
}

void TestRichEditCtrl::selectionClampsAndOrders_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<qint64>("expectedStart");
    QTest::addColumn<qint64>("expectedEnd");
    QTest::newRow("whole text") << 0LL << -1LL << 0LL << 10LL;
    QTest::newRow("past the end") << 4LL << 99LL << 4LL << 10LL;
    QTest::newRow("reversed") << 7LL << 3LL << 3LL << 7LL;
    QTest::newRow("caret only") << 5LL << 5LL << 5LL << 5LL;
}

void TestRichEditCtrl::selectionClampsAndOrders()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(qint64, expectedStart);
    QFETCH(qint64, expectedEnd);

    const auto editor = MakeEditor(kUtf8Locale);
    editor->SetTextBytes("0123456789");
    editor->SetSel(start, end);

    qint64 gotStart = -5;
    qint64 gotEnd = -5;
    editor->GetSel(gotStart, gotEnd);
    QCOMPARE(gotStart, expectedStart);
    QCOMPARE(gotEnd, expectedEnd);
}

void TestRichEditCtrl::selectionVisibleWithoutFocus()
{
    const QColor selection(10, 200, 30);
    const auto editor = MakeEditor(kByteLocale);
    editor->resize(300, 80);
    editor->setSelectionBackgroundColor(selection);
    editor->SetTextBytes("MMMMMMMMMMMMMMMMMMMM");
    editor->SetSel(0, -1);
    QVERIFY(!editor->hasFocus());

    const QImage image = editor->grab().toImage();

    int selectedPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            selectedPixels += image.pixelColor(x, y) == selection;
    }
    QVERIFY2(selectedPixels > 100, qPrintable(QString::number(selectedPixels)));
}

void TestRichEditCtrl::tabLeavesTheField()
{
    QWidget window;
    auto *editor = new CRichEditCtrl(&window);
    auto *next = new QWidget(&window);
    next->setFocusPolicy(Qt::TabFocus);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    editor->setFocus();

    QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(editor->GetTextBytes(), QByteArray("\t"));
    QVERIFY(editor->hasFocus());

    QTest::keyClick(editor, Qt::Key_Tab);
    QVERIFY(next->hasFocus());
    QCOMPARE(editor->GetTextBytes(), QByteArray("\t"));
    window.hide();
}

QTEST_MAIN(TestRichEditCtrl)
#include "tst_richeditctrl.moc"
