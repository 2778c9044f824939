// Character tables and locale: PcreMakeTables against the real library's own
// pcre_maketables(), the locale switches of PcreSetLocale and
// GetAnsiLocaleName. The ISO-8859-1 locales come from the build tree through
// LOCPATH, which CTest sets.

#include "PcreBinding.h"
#include "PcreTables.h"

#include <QtTest>

#include <clocale>
#include <dlfcn.h>

namespace {

constexpr int kCharTypes = 832;
const char kLatin1[] = "de_DE.ISO-8859-1";

QByteArray copyOf(const unsigned char *block)
{
    return block ? QByteArray(reinterpret_cast<const char *>(block), int(PCRE_TABLES_LENGTH)) : QByteArray();
}

QByteArray currentTables() { return copyOf(PcreBinding.tables.get()); }
char eAcuteType() { return currentTables().at(kCharTypes + 0xE9); }
std::string locale(int category = LC_ALL) { return std::setlocale(category, nullptr); }

// The library's own tables under `name`; the process locale is "C" after.
QByteArray libraryTables(const char *name)
{
    std::setlocale(LC_ALL, name);
    void *library = dlopen("libpcre.so.3", RTLD_NOW | RTLD_LOCAL);
    const unsigned char *block = reinterpret_cast<const unsigned char *(*)()>(dlsym(library, "pcre_maketables"))();
    const QByteArray copy = copyOf(block);
    (*static_cast<void (**)(void *)>(dlsym(library, "pcre_free")))(const_cast<unsigned char *>(block));
    dlclose(library);
    std::setlocale(LC_ALL, "C");
    return copy;
}

} // namespace

class TestPcreTables : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(std::setlocale(LC_ALL, kLatin1), "de_DE.ISO-8859-1 not found: run through CTest");
    }

    void cleanup()
    {
        PcreUnload();
        std::setlocale(LC_ALL, "C");
    }

    void matchesLibraryExceptTwoBytes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("eAcute");
        QTest::newRow("C") << "C" << 0x00;
        QTest::newRow("de_DE.ISO-8859-1") << kLatin1 << 0x12;   // a lower-case letter
    }

    void matchesLibraryExceptTwoBytes()
    {
        QFETCH(QString, name);
        QFETCH(int, eAcute);
        const QByteArray library = libraryTables(name.toLatin1().constData());
        PcreSetLocale(name.toLatin1().constData());
        const QByteArray ours = currentTables();
        QCOMPARE(ours.size(), library.size());
        QCOMPARE(eAcuteType(), char(eAcute));
        // The older rule on purpose: VT has no space bit in the character
        // types (it stays in the space bitmap) and backslash is no meta character.
        QList<int> differences;
        for (int i = 0; i < ours.size(); ++i)
            if (ours.at(i) != library.at(i))
                differences << i << ours.at(i) << library.at(i);
        QCOMPARE(differences, (QList<int>{kCharTypes + 11, 0, 0x01, kCharTypes + '\\', 0, char(0x80)}));
    }

    void setLocaleRestoresProcessLocale_data()
    {
        QTest::addColumn<QString>("start");   // empty: categories mixed
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("eAcute");
        QTest::newRow("C, tables for Latin-1") << "C" << kLatin1 << 0x12;
        QTest::newRow("Latin-1, tables for C") << kLatin1 << "C" << 0x00;
        QTest::newRow("mixed, tables for C") << "" << "C" << 0x00;
        QTest::newRow("unknown name: locale in force") << kLatin1 << "xx_XX.NOPE" << 0x12;
    }

    void setLocaleRestoresProcessLocale()
    {
        QFETCH(QString, start);
        QFETCH(QString, name);
        QFETCH(int, eAcute);
        QVERIFY(start.isEmpty() ? std::setlocale(LC_CTYPE, kLatin1) && std::setlocale(LC_NUMERIC, "C.UTF-8")
                                : std::setlocale(LC_ALL, start.toLatin1().constData()) != nullptr);
        const std::string before = locale();
        PcreSetLocale(name.toLatin1().constData());
        QCOMPARE(locale(), before);
        QCOMPARE(eAcuteType(), char(eAcute));
        PcreSetLocale(nullptr);
        QVERIFY(!PcreBinding.tables);
    }

    // The process runs in the user's locale for its texts; a load builds
    // the tables of the C library's default one all the same.
    void loadBuildsTablesOfTheDefaultLocale()
    {
        std::setlocale(LC_ALL, kLatin1);
        QCOMPARE(PcreLoad(nullptr), 1);
        QCOMPARE(eAcuteType(), char(0x00));
        QCOMPARE(locale(), std::string(kLatin1));
    }

    void ansiLocaleName_data()
    {
        QTest::addColumn<QString>("lcAll");
        QTest::addColumn<QString>("lcCtype");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("categories");   // LC_CTYPE and LC_NUMERIC of the name given back; empty: no name
        QTest::newRow("nothing set") << "" << "" << "" << "C C";
        QTest::newRow("LANG") << "" << "" << kLatin1 << QString(kLatin1) + ' ' + kLatin1;
        QTest::newRow("LC_ALL wins") << "C" << "" << kLatin1 << "C C";
        QTest::newRow("mixed categories") << "" << kLatin1 << "C" << QString(kLatin1) + " C";
        QTest::newRow("unknown") << "" << "" << "xx_XX.NOPE" << "";
    }

    void ansiLocaleName()
    {
        QFETCH(QString, lcAll);
        QFETCH(QString, lcCtype);
        QFETCH(QString, lang);
        QFETCH(QString, categories);
        // Nothing else in this program reads the locale environment.
        for (const char *name : {"LC_ALL", "LC_CTYPE", "LC_NUMERIC", "LC_TIME", "LC_COLLATE", "LC_MONETARY",
                                 "LC_MESSAGES", "LC_PAPER", "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE",
                                 "LC_MEASUREMENT", "LC_IDENTIFICATION", "LANG"})
            qunsetenv(name);
        for (const auto &[name, value] : {std::pair{"LC_ALL", lcAll}, {"LC_CTYPE", lcCtype}, {"LANG", lang}})
            qputenv(name, value.toLatin1());
        QVERIFY(std::setlocale(LC_CTYPE, "C.UTF-8"));
        const std::string before = locale();
        const std::string name = GetAnsiLocaleName();
        QCOMPARE(locale(), before);
        QCOMPARE(name.empty(), categories.isEmpty());
        if (!name.empty()) {
            QVERIFY2(std::setlocale(LC_ALL, name.c_str()), name.c_str());   // a name setlocale() takes back
            QCOMPARE(QString::fromStdString(locale(LC_CTYPE) + ' ' + locale(LC_NUMERIC)), categories);
        }
    }
};

QTEST_GUILESS_MAIN(TestPcreTables)
#include "tst_pcretables.moc"
