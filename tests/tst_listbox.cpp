// Sorted list box: the case-insensitive byte order, sorted insertion with
// per-line values, and copying all lines.

#include "NoWindowLeft.h"
#include "CListBox.h"

#include <QApplication>
#include <QClipboard>
#include <QtTest>

#include <clocale>

class TestListBox : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        std::setlocale(LC_ALL, "C");
        verifyNoWindowLeftOpen();
    }

    void compareNoCase_data()
    {
        QTest::addColumn<QByteArray>("left");
        QTest::addColumn<QByteArray>("right");
        QTest::addColumn<int>("sign");
        QTest::newRow("case folds") << QByteArray("Mon") << QByteArray("mon") << 0;
        QTest::newRow("underscore before folded A") << QByteArray("_x") << QByteArray("Ax") << -1;
        QTest::newRow("high bytes unsigned") << QByteArray("\xc9") << QByteArray("\x7f") << 1;
        QTest::newRow("prefix first") << QByteArray("year") << QByteArray("year (1)") << -1;
        QTest::newRow("embedded NUL compared") << QByteArray("a\0b", 3) << QByteArray("a\0c", 3) << -1;
    }

    void compareNoCase()
    {
        QFETCH(QByteArray, left);
        QFETCH(QByteArray, right);
        QFETCH(int, sign);
        const auto signOf = [](int value) { return (value > 0) - (value < 0); };
        QCOMPARE(signOf(CListBox::CompareNoCase(left, right)), sign);
        QCOMPARE(signOf(CListBox::CompareNoCase(right, left)), -sign);
    }

    void sortedLinesKeepTheirValues()
    {
        std::setlocale(LC_ALL, "C.UTF-8");   // lines shown decoded, kept as bytes
        CListBox list(true);
        QList<int> indexes;
        for (const QByteArray line : {"2 {1,2}", "year (1) {0,4}", "0 {0,9}", "B", "10 {8,9}", "Mon (3)", "b",
                                      "caf\xe9 \xff"}) {
            indexes << list.AddString(line);
            list.SetItemData(indexes.last(), line);   // the value names its own line
        }
        QCOMPARE(indexes, (QList<int>{0, 1, 0, 2, 1, 4, 4, 5}));   // equal lines keep their arrival order
        QByteArrayList lines;
        for (int i = 0; i < list.GetCount(); ++i) {
            lines << list.GetText(i);
            QCOMPARE(list.GetItemData(i).toByteArray(), lines.last());
        }
        QCOMPARE(lines, (QByteArrayList{"0 {0,9}", "10 {8,9}", "2 {1,2}", "B", "b", "caf\xe9 \xff", "Mon (3)",
                                        "year (1) {0,4}"}));

        QApplication::clipboard()->clear();
        QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8(lines.join('\n')));
    }
};

QTEST_MAIN(TestListBox)
#include "tst_listbox.moc"
