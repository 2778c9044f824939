// Character tables and locale: PcreMakeTables against the real
// library's own pcre_maketables(), the "C" locale's edge values, the locale
// switches of PcreSetLocale and GetAnsiLocaleName.
//
// The ISO-8859-1 locales are generated into the build tree by
// tests/CMakeLists.txt and found through LOCPATH, which CTest sets.

#include "PcreBinding.h"
#include "PcreTables.h"

#include <QtTest>

#include <clocale>
#include <dlfcn.h>
#include <optional>

namespace {

constexpr int kLowerCase = 0;
constexpr int kCaseFlip = 256;
constexpr int kBitmaps = 512;
constexpr int kCharTypes = 832;

enum Bitmap { Space, Xdigit, Digit, Upper, Lower, Word, Graph, Print, Punct, Cntrl };

bool inBitmap(const QByteArray &tables, Bitmap map, int ch)
{
    const auto byte = static_cast<unsigned char>(tables.at(kBitmaps + 32 * map + ch / 8));
    return byte & (1u << (ch % 8));
}

QList<int> bitmapMembers(const QByteArray &tables, Bitmap map)
{
    QList<int> members;
    for (int ch = 0; ch < 256; ++ch)
        if (inBitmap(tables, map, ch))
            members << ch;
    return members;
}

QList<int> range(int first, int last)
{
    QList<int> list;
    for (int ch = first; ch <= last; ++ch)
        list << ch;
    return list;
}

int byteAt(const QByteArray &tables, int offset)
{
    return static_cast<unsigned char>(tables.at(offset));
}

QByteArray copyOf(const unsigned char *block)
{
    return block ? QByteArray(reinterpret_cast<const char *>(block), int(PCRE_TABLES_LENGTH))
                 : QByteArray();
}

QByteArray ourTables()
{
    PcreTablesPtr block = PcreMakeTables();
    return copyOf(block.get());
}

QByteArray currentTables()
{
    return copyOf(PcreBinding.tables.get());
}

std::string processLocale()
{
    const char *name = std::setlocale(LC_ALL, nullptr);
    return name ? name : "";
}

// Switches the process locale for one scope.
class LocaleSwitch
{
public:
    explicit LocaleSwitch(const char *name)
        : m_previous(processLocale()), m_accepted(std::setlocale(LC_ALL, name) != nullptr)
    {
    }
    ~LocaleSwitch() { std::setlocale(LC_ALL, m_previous.c_str()); }
    bool accepted() const { return m_accepted; }

private:
    std::string m_previous;
    bool m_accepted;
};

// Sets locale environment variables for one scope, all others unset.
class EnvironmentSwitch
{
public:
    explicit EnvironmentSwitch(const QList<QPair<QByteArray, QByteArray>> &values)
    {
        for (const char *name : kNames) {
            m_saved.append({name, qEnvironmentVariableIsSet(name)
                                      ? std::optional<QByteArray>(qgetenv(name))
                                      : std::nullopt});
            qunsetenv(name);
        }
        for (const auto &value : values)
            qputenv(value.first.constData(), value.second);
    }
    ~EnvironmentSwitch()
    {
        for (const auto &saved : m_saved) {
            if (saved.second)
                qputenv(saved.first.constData(), *saved.second);
            else
                qunsetenv(saved.first.constData());
        }
    }

private:
    static constexpr const char *kNames[] = {
        "LC_ALL",  "LC_CTYPE", "LC_NUMERIC",   "LC_TIME",      "LC_COLLATE",
        "LC_MONETARY", "LC_MESSAGES", "LC_PAPER", "LC_NAME", "LC_ADDRESS",
        "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION", "LANG"};
    QList<QPair<QByteArray, std::optional<QByteArray>>> m_saved;
};

const char kLatin1Locale[] = "de_DE.ISO-8859-1";

} // namespace

class TestPcreTables : public QObject
{
    Q_OBJECT

private:
    void *m_library = nullptr;
    const unsigned char *(*m_libraryMakeTables)() = nullptr;
    void (**m_libraryFree)(void *) = nullptr;
    std::string m_startLocale;

    QByteArray libraryTables() const;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void matchesLibraryExceptTwoBytes_data();
    void matchesLibraryExceptTwoBytes();
    void latin1Letter_data();
    void latin1Letter();
    void cLocaleCharTypes_data();
    void cLocaleCharTypes();
    void cLocaleBitmaps_data();
    void cLocaleBitmaps();
    void cLocaleCaseMaps();
    void setLocaleRestoresProcessLocale_data();
    void setLocaleRestoresProcessLocale();
    void unknownLocaleUsesLocaleInForce_data();
    void unknownLocaleUsesLocaleInForce();
    void nullDropsTables();
    void loadBuildsTablesUnderLocaleInForce();
    void ansiLocaleName_data();
    void ansiLocaleName();
    void ansiLocaleNameMixedCategories();
};

QByteArray TestPcreTables::libraryTables() const
{
    const unsigned char *block = m_libraryMakeTables();
    QByteArray copy = copyOf(block);
    (*m_libraryFree)(const_cast<unsigned char *>(block));
    return copy;
}

void TestPcreTables::initTestCase()
{
    m_library = dlopen("libpcre.so.3", RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(m_library, "libpcre.so.3 (Debian package libpcre3) is required");
    m_libraryMakeTables =
        reinterpret_cast<const unsigned char *(*)()>(dlsym(m_library, "pcre_maketables"));
    m_libraryFree = static_cast<void (**)(void *)>(dlsym(m_library, "pcre_free"));
    QVERIFY(m_libraryMakeTables);
    QVERIFY(m_libraryFree && *m_libraryFree);
    m_startLocale = processLocale();
    {
        LocaleSwitch latin1(kLatin1Locale);
        QVERIFY2(latin1.accepted(),
                 "de_DE.ISO-8859-1 not found: run through CTest (LOCPATH=" PC_LOCALE_DIR ")");
    }
}

void TestPcreTables::cleanupTestCase()
{
    PcreUnload();
    if (m_library)
        dlclose(m_library);
}

void TestPcreTables::init()
{
    PcreUnload();
}

void TestPcreTables::cleanup()
{
    PcreUnload();
    std::setlocale(LC_ALL, m_startLocale.c_str());
}

void TestPcreTables::matchesLibraryExceptTwoBytes_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::newRow("C") << QByteArray("C");
    QTest::newRow("POSIX") << QByteArray("POSIX");
    QTest::newRow("C.UTF-8") << QByteArray("C.UTF-8");
    QTest::newRow("de_DE.ISO-8859-1") << QByteArray(kLatin1Locale);
    QTest::newRow("fr_FR.ISO-8859-1") << QByteArray("fr_FR.ISO-8859-1");
}

void TestPcreTables::matchesLibraryExceptTwoBytes()
{
    QFETCH(QByteArray, locale);
    QByteArray library, ours;
    {
        LocaleSwitch inLocale(locale.constData());
        QVERIFY2(inLocale.accepted(), locale.constData());
        library = libraryTables();
        ours = ourTables();
    }
    QCOMPARE(library.size(), int(PCRE_TABLES_LENGTH));
    QCOMPARE(ours.size(), int(PCRE_TABLES_LENGTH));

    // The older rule on purpose: VT has no space bit in the character types
    // (it stays in the space bitmap) and the backslash is no meta character.
    QStringList differences;
    for (int i = 0; i < int(PCRE_TABLES_LENGTH); ++i)
        if (ours.at(i) != library.at(i))
            differences << QStringLiteral("%1: ours 0x%2, library 0x%3")
                               .arg(i)
                               .arg(byteAt(ours, i), 2, 16, QLatin1Char('0'))
                               .arg(byteAt(library, i), 2, 16, QLatin1Char('0'));
    const QStringList expected{QStringLiteral("%1: ours 0x00, library 0x01").arg(kCharTypes + 11),
                               QStringLiteral("%1: ours 0x00, library 0x80").arg(kCharTypes + '\\')};
    QCOMPARE(differences, expected);

    // PcreSetLocale builds the same block, from any process locale.
    PcreSetLocale(locale.constData());
    QCOMPARE(currentTables(), ours);
}

void TestPcreTables::latin1Letter_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<bool>("letter");
    QTest::newRow("C") << QByteArray("C") << false;
    QTest::newRow("C.UTF-8") << QByteArray("C.UTF-8") << false;
    QTest::newRow("de_DE.ISO-8859-1") << QByteArray(kLatin1Locale) << true;
}

void TestPcreTables::latin1Letter()
{
    QFETCH(QByteArray, locale);
    QFETCH(bool, letter);
    PcreSetLocale(locale.constData());
    const QByteArray tables = currentTables();
    QVERIFY(!tables.isEmpty());
    const int eAcute = 0xE9, capitalEAcute = 0xC9;
    QCOMPARE(byteAt(tables, kCharTypes + eAcute), letter ? 0x12 : 0x00);
    QCOMPARE(inBitmap(tables, Lower, eAcute), letter);
    QCOMPARE(inBitmap(tables, Upper, capitalEAcute), letter);
    QCOMPARE(inBitmap(tables, Word, eAcute), letter);
    QCOMPARE(byteAt(tables, kLowerCase + capitalEAcute), letter ? eAcute : capitalEAcute);
    QCOMPARE(byteAt(tables, kCaseFlip + eAcute), letter ? capitalEAcute : eAcute);
    QCOMPARE(byteAt(tables, kCaseFlip + capitalEAcute), letter ? eAcute : capitalEAcute);
    // The no-break space is a space only where the locale says so, and never
    // a word character.
    QCOMPARE(inBitmap(tables, Word, 0xA0), false);
}

void TestPcreTables::cLocaleCharTypes_data()
{
    QTest::addColumn<int>("ch");
    QTest::addColumn<int>("type");
    QTest::newRow("underscore") << int('_') << 0x10;
    QTest::newRow("a") << int('a') << 0x1A;
    QTest::newRow("f") << int('f') << 0x1A;
    QTest::newRow("g") << int('g') << 0x12;
    QTest::newRow("G") << int('G') << 0x12;
    QTest::newRow("F") << int('F') << 0x1A;
    QTest::newRow("0") << int('0') << 0x1C;
    QTest::newRow("9") << int('9') << 0x1C;
    QTest::newRow("VT") << 11 << 0x00;
    QTest::newRow("space") << int(' ') << 0x01;
    QTest::newRow("TAB") << int('\t') << 0x01;
    QTest::newRow("LF") << int('\n') << 0x01;
    QTest::newRow("FF") << int('\f') << 0x01;
    QTest::newRow("CR") << int('\r') << 0x01;
    QTest::newRow("$") << int('$') << 0x80;
    QTest::newRow("{") << int('{') << 0x80;
    QTest::newRow("[") << int('[') << 0x80;
    QTest::newRow("}") << int('}') << 0x00;
    QTest::newRow("]") << int(']') << 0x00;
    QTest::newRow("backslash") << int('\\') << 0x00;
    QTest::newRow("NUL") << 0 << 0x80;
    for (char meta : QByteArray("*+?^.|()"))
        QTest::addRow("meta %c", meta) << int(meta) << 0x80;
    QTest::newRow("-") << int('-') << 0x00;
    QTest::newRow("0xE9") << 0xE9 << 0x00;
    QTest::newRow("0xFF") << 0xFF << 0x00;
}

void TestPcreTables::cLocaleCharTypes()
{
    QFETCH(int, ch);
    QFETCH(int, type);
    PcreSetLocale("C");
    const QByteArray tables = currentTables();
    QVERIFY(!tables.isEmpty());
    QCOMPARE(byteAt(tables, kCharTypes + ch), type);
}

void TestPcreTables::cLocaleBitmaps_data()
{
    QTest::addColumn<int>("map");
    QTest::addColumn<QList<int>>("members");
    const QList<int> digits = range('0', '9');
    const QList<int> upper = range('A', 'Z');
    const QList<int> lower = range('a', 'z');
    QList<int> word = digits + upper + QList<int>{'_'} + lower;
    QTest::newRow("space") << int(Space) << QList<int>{'\t', '\n', 11, '\f', '\r', ' '};
    QTest::newRow("xdigit") << int(Xdigit) << digits + range('A', 'F') + range('a', 'f');
    QTest::newRow("digit") << int(Digit) << digits;
    QTest::newRow("upper") << int(Upper) << upper;
    QTest::newRow("lower") << int(Lower) << lower;
    QTest::newRow("word (63 characters)") << int(Word) << word;
    QTest::newRow("graph") << int(Graph) << range(0x21, 0x7e);
    QTest::newRow("print") << int(Print) << range(0x20, 0x7e);
    QList<int> punct;
    for (int ch = 0x21; ch <= 0x7e; ++ch)
        if (!digits.contains(ch) && !upper.contains(ch) && !lower.contains(ch))
            punct << ch;
    QTest::newRow("punct") << int(Punct) << punct;
    QTest::newRow("cntrl") << int(Cntrl) << range(0, 0x1f) + QList<int>{0x7f};
}

void TestPcreTables::cLocaleBitmaps()
{
    QFETCH(int, map);
    QFETCH(QList<int>, members);
    PcreSetLocale("C");
    const QByteArray tables = currentTables();
    QVERIFY(!tables.isEmpty());
    QCOMPARE(bitmapMembers(tables, Bitmap(map)), members);
    if (map == Word) {
        QCOMPARE(members.size(), 63);
        QVERIFY(byteAt(tables, kBitmaps + 32 * Word + 11) & 0x80);   // "_": bit 7 of byte 11
    }
}

void TestPcreTables::cLocaleCaseMaps()
{
    PcreSetLocale("C");
    const QByteArray tables = currentTables();
    QVERIFY(!tables.isEmpty());
    for (int ch = 0; ch < 256; ++ch) {
        const bool upper = ch >= 'A' && ch <= 'Z';
        const bool lower = ch >= 'a' && ch <= 'z';
        QCOMPARE(byteAt(tables, kLowerCase + ch), upper ? ch + 32 : ch);
        QCOMPARE(byteAt(tables, kCaseFlip + ch), upper ? ch + 32 : lower ? ch - 32 : ch);
    }
}

void TestPcreTables::setLocaleRestoresProcessLocale_data()
{
    QTest::addColumn<QByteArray>("processLocale");   // empty: mixed categories
    QTest::addColumn<QByteArray>("name");
    const QList<QByteArray> starts{"C", "C.UTF-8", kLatin1Locale, ""};
    const QList<QByteArray> names{"C", kLatin1Locale, "fr_FR.ISO-8859-1", "xx_XX.NOPE"};
    for (const QByteArray &start : starts)
        for (const QByteArray &name : names)
            QTest::addRow("in %s, tables for %s", start.isEmpty() ? "mixed" : start.constData(),
                          name.constData())
                << start << name;
}

void TestPcreTables::setLocaleRestoresProcessLocale()
{
    QFETCH(QByteArray, processLocale);
    QFETCH(QByteArray, name);
    if (processLocale.isEmpty()) {
        QVERIFY(std::setlocale(LC_ALL, "C"));
        QVERIFY(std::setlocale(LC_CTYPE, kLatin1Locale));
        QVERIFY(std::setlocale(LC_NUMERIC, "C.UTF-8"));
    } else {
        QVERIFY(std::setlocale(LC_ALL, processLocale.constData()));
    }
    const std::string before = ::processLocale();
    const std::string ctypeBefore = std::setlocale(LC_CTYPE, nullptr);
    PcreSetLocale(name.constData());
    QVERIFY(PcreBinding.tables);
    QCOMPARE(::processLocale(), before);
    QCOMPARE(std::string(std::setlocale(LC_CTYPE, nullptr)), ctypeBefore);
}

void TestPcreTables::unknownLocaleUsesLocaleInForce_data()
{
    QTest::addColumn<QByteArray>("processLocale");
    QTest::addColumn<bool>("letter");
    QTest::newRow("C") << QByteArray("C") << false;
    QTest::newRow("de_DE.ISO-8859-1") << QByteArray(kLatin1Locale) << true;
}

void TestPcreTables::unknownLocaleUsesLocaleInForce()
{
    QFETCH(QByteArray, processLocale);
    QFETCH(bool, letter);
    LocaleSwitch inLocale(processLocale.constData());
    QVERIFY(inLocale.accepted());
    PcreSetLocale("xx_XX.NOPE");
    const QByteArray tables = currentTables();
    QCOMPARE(tables, ourTables());
    QCOMPARE(byteAt(tables, kCharTypes + 0xE9), letter ? 0x12 : 0x00);
}

void TestPcreTables::nullDropsTables()
{
    PcreSetLocale("C");
    QVERIFY(PcreBinding.tables);
    PcreSetLocale(nullptr);
    QVERIFY(!PcreBinding.tables);
    PcreSetLocale(nullptr);
    QVERIFY(!PcreBinding.tables);
    // A new block each time.
    PcreSetLocale(kLatin1Locale);
    QVERIFY(PcreBinding.tables);
    PcreSetLocale("C");
    QCOMPARE(byteAt(currentTables(), kCharTypes + 0xE9), 0x00);
}

void TestPcreTables::loadBuildsTablesUnderLocaleInForce()
{
    for (const char *locale : {"C", kLatin1Locale}) {
        LocaleSwitch inLocale(locale);
        QVERIFY(inLocale.accepted());
        QCOMPARE(PcreLoad(nullptr), 1);
        QCOMPARE(currentTables(), ourTables());
        QCOMPARE(processLocale(), std::string(locale));
        PcreUnload();
    }
}

void TestPcreTables::ansiLocaleName_data()
{
    QTest::addColumn<QByteArray>("lcAll");
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("nothing set") << QByteArray() << QByteArray() << QByteArray("C");
    QTest::newRow("LANG=C") << QByteArray() << QByteArray("C") << QByteArray("C");
    QTest::newRow("LANG=C.UTF-8") << QByteArray() << QByteArray("C.UTF-8") << QByteArray("C.UTF-8");
    QTest::newRow("LANG=Latin-1") << QByteArray() << QByteArray(kLatin1Locale)
                                  << QByteArray(kLatin1Locale);
    QTest::newRow("LC_ALL=Latin-1") << QByteArray(kLatin1Locale) << QByteArray()
                                    << QByteArray(kLatin1Locale);
    QTest::newRow("LC_ALL wins over LANG") << QByteArray("C") << QByteArray(kLatin1Locale)
                                           << QByteArray("C");
    QTest::newRow("unknown LANG") << QByteArray() << QByteArray("xx_XX.NOPE") << QByteArray();
    QTest::newRow("unknown LC_ALL") << QByteArray("xx_XX.NOPE") << QByteArray("C")
                                    << QByteArray();
}

void TestPcreTables::ansiLocaleName()
{
    QFETCH(QByteArray, lcAll);
    QFETCH(QByteArray, lang);
    QFETCH(QByteArray, expected);
    QList<QPair<QByteArray, QByteArray>> values;
    if (!lcAll.isNull())
        values.append({"LC_ALL", lcAll});
    if (!lang.isNull())
        values.append({"LANG", lang});

    LocaleSwitch inLocale("C");
    QVERIFY(std::setlocale(LC_CTYPE, "C.UTF-8"));
    const std::string before = processLocale();
    std::string name;
    {
        EnvironmentSwitch environment(values);
        name = GetAnsiLocaleName();
    }
    QCOMPARE(QByteArray::fromStdString(name), expected);
    QCOMPARE(processLocale(), before);
}

void TestPcreTables::ansiLocaleNameMixedCategories()
{
    std::string name;
    {
        EnvironmentSwitch environment({{"LANG", "C"}, {"LC_CTYPE", kLatin1Locale}});
        name = GetAnsiLocaleName();
    }
    QVERIFY2(name.find(std::string("LC_CTYPE=") + kLatin1Locale) != std::string::npos,
             name.c_str());
    // The name is one setlocale() takes back.
    LocaleSwitch inLocale(name.c_str());
    QVERIFY(inLocale.accepted());
    QCOMPARE(std::string(std::setlocale(LC_CTYPE, nullptr)), std::string(kLatin1Locale));
    QCOMPARE(std::string(std::setlocale(LC_NUMERIC, nullptr)), std::string("C"));
}

QTEST_GUILESS_MAIN(TestPcreTables)
#include "tst_pcretables.moc"
