// Sorted list box: the case-insensitive byte order, sorted insertion with
// per-line values, and copying all lines.

#include "CListBox.h"

#include <QApplication>
#include <QClipboard>
#include <QtTest>

#include <clocale>

class TestListBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void compareNoCase_data();
    void compareNoCase();
    void sortedInsertion_data();
    void sortedInsertion();
    void itemDataFollowsItsLine();
    void unsortedListAppends();
    void bytesSurviveDisplay();
    void ctrlCCopiesAllLines();
};

void TestListBox::init()
{
    std::setlocale(LC_ALL, "C.UTF-8");
}

void TestListBox::cleanup()
{
    std::setlocale(LC_ALL, "C");
    for (QWidget *window : QApplication::topLevelWidgets())
        QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
}

void TestListBox::compareNoCase_data()
{
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<QByteArray>("right");
    QTest::addColumn<int>("expectedSign");

    QTest::newRow("0 before 1") << QByteArray("0 {0,1}") << QByteArray("1 {0,1}") << -1;
    QTest::newRow("1 before 10") << QByteArray("1 {0,1}") << QByteArray("10 {0,1}") << -1;
    QTest::newRow("10 before 2") << QByteArray("10 {0,1}") << QByteArray("2 {0,1}") << -1;
    QTest::newRow("case folds") << QByteArray("Mon") << QByteArray("mon") << 0;
    QTest::newRow("upper vs lower differs later") << QByteArray("MON (2)") << QByteArray("mon (1)") << 1;
    QTest::newRow("underscore before folded A") << QByteArray("_x") << QByteArray("Ax") << -1;
    QTest::newRow("underscore before a") << QByteArray("_") << QByteArray("a") << -1;
    QTest::newRow("Z folds after underscore") << QByteArray("Z") << QByteArray("_") << 1;
    QTest::newRow("high bytes after ASCII") << QByteArray("\xe9t\xe9") << QByteArray("zz") << 1;
    QTest::newRow("high bytes unsigned") << QByteArray("\x80") << QByteArray("\x7f") << 1;
    QTest::newRow("high bytes not folded") << QByteArray("\xc9") << QByteArray("\xe9") << -1;
    QTest::newRow("prefix first") << QByteArray("year") << QByteArray("year (1)") << -1;
    QTest::newRow("empty first") << QByteArray() << QByteArray("a") << -1;
    QTest::newRow("equal") << QByteArray("1 year") << QByteArray("1 year") << 0;
    QTest::newRow("embedded NUL compared") << QByteArray("a\0b", 3) << QByteArray("a\0c", 3) << -1;
}

static int Sign(int value)
{
    return (value > 0) - (value < 0);
}

void TestListBox::compareNoCase()
{
    QFETCH(QByteArray, left);
    QFETCH(QByteArray, right);
    QFETCH(int, expectedSign);

    QCOMPARE(Sign(CListBox::CompareNoCase(left, right)), expectedSign);
    QCOMPARE(Sign(CListBox::CompareNoCase(right, left)), -expectedSign);
}

void TestListBox::sortedInsertion_data()
{
    QTest::addColumn<QList<QByteArray>>("inserted");
    QTest::addColumn<QList<int>>("returnedIndexes");
    QTest::addColumn<QList<QByteArray>>("finalOrder");

    QTest::newRow("subpattern lines")
        << QList<QByteArray>{"0 {0,9}", "1 {0,1}", "2 {1,2}", "10 {8,9}", "3 {2,3}"}
        << QList<int>{0, 1, 2, 2, 4}
        << QList<QByteArray>{"0 {0,9}", "1 {0,1}", "10 {8,9}", "2 {1,2}", "3 {2,3}"};
    QTest::newRow("named among numbered")
        << QList<QByteArray>{"0 {0,4}", "year (1) {0,4}", "2 {5,7}", "Mon (3) {5,7}"}
        << QList<int>{0, 1, 1, 2}
        << QList<QByteArray>{"0 {0,4}", "2 {5,7}", "Mon (3) {5,7}", "year (1) {0,4}"};
    QTest::newRow("equal lines keep arrival order")
        << QList<QByteArray>{"b", "A", "a", "B"}
        << QList<int>{0, 0, 1, 3}
        << QList<QByteArray>{"A", "a", "b", "B"};
}

void TestListBox::sortedInsertion()
{
    QFETCH(QList<QByteArray>, inserted);
    QFETCH(QList<int>, returnedIndexes);
    QFETCH(QList<QByteArray>, finalOrder);

    CListBox list(true);
    QList<int> indexes;
    for (const QByteArray &line : inserted)
        indexes.append(list.AddString(line));

    QCOMPARE(indexes, returnedIndexes);
    QList<QByteArray> order;
    for (int i = 0; i < list.GetCount(); ++i)
        order.append(list.GetText(i));
    QCOMPARE(order, finalOrder);
}

void TestListBox::itemDataFollowsItsLine()
{
    CListBox list(true);
    const QList<QByteArray> lines{"5 {5,6}", "3 {3,4}", "0 {0,9}", "12 {7,8}", "1 {1,2}"};
    for (const QByteArray &line : lines) {
        const int index = list.AddString(line);
        // The value names its own line, so a line that moved keeps its value.
        list.SetItemData(index, QVariant(line));
    }

    QCOMPARE(list.GetCount(), lines.size());
    for (int i = 0; i < list.GetCount(); ++i)
        QCOMPARE(list.GetItemData(i).toByteArray(), list.GetText(i));
    QVERIFY(!list.GetItemData(list.GetCount()).isValid());

    list.ResetContent();
    QCOMPARE(list.GetCount(), 0);
}

void TestListBox::unsortedListAppends()
{
    CListBox list(false);
    QCOMPARE(list.AddString("b"), 0);
    QCOMPARE(list.AddString("a"), 1);
    QCOMPARE(list.GetText(1), QByteArray("a"));
}

void TestListBox::bytesSurviveDisplay()
{
    const QByteArray invalidUtf8("caf\xe9 \xff", 6);
    CListBox list(true);
    list.AddString(invalidUtf8);
    list.AddString("caf\xc3\xa9");

    QCOMPARE(list.GetText(1), invalidUtf8);
    QCOMPARE(list.item(0)->text(), QString::fromUtf8("caf\xc3\xa9"));

    std::setlocale(LC_ALL, "C");
    CListBox latin1(true);
    latin1.AddString("caf\xe9");
    QCOMPARE(latin1.item(0)->text(), QStringLiteral("caf\u00e9"));
}

void TestListBox::ctrlCCopiesAllLines()
{
    CListBox list(true);
    list.AddString("2 {1,2}");
    list.AddString("0 {0,3}");
    list.AddString("10 {2,3}");
    QApplication::clipboard()->clear();

    QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);

    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("0 {0,3}\n10 {2,3}\n2 {1,2}"));
}

QTEST_MAIN(TestListBox)
#include "tst_listbox.moc"
