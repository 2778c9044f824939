#pragma once
// Drives a tester window as a user would: types into its fields, clicks
// its buttons and reads what it shows.

#include "CRichEditCtrl.h"
#include "NoWindowLeft.h"
#include "CStatic.h"
#include "CSubpatternListDlg.h"
#include "CTesterDlg.h"
#include "PcreBinding.h"
#include "resource.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <utility>

#include <dlfcn.h>
#include <link.h>

// Where the loader finds a library (canonical), or empty.
inline QString LibraryPath(const char *name)
{
    void *handle = dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    link_map *map = nullptr;
    const QString path = handle && dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0
                             ? QFileInfo(QString::fromLocal8Bit(map->l_name)).canonicalFilePath()
                             : QString();
    if (handle)
        dlclose(handle);
    return path;
}

// Counts what the loaded library frees from now on, through its pcre_free
// variable; the hook goes with the library when it is unloaded.
struct FreeCounter
{
    static inline int frees = 0;
    static inline void (*real)(void *) = nullptr;
    static bool Install()
    {
        auto *slot = static_cast<void (**)(void *)>(PcreBinding.library->OptionalSymbol("pcre_free"));
        frees = 0;
        return slot && (real = std::exchange(*slot, [](void *pointer) { ++frees, real(pointer); }));
    }
};

struct Range
{
    int start;
    int end;
    bool operator==(const Range &) const = default;
};

inline char *toString(const Range &r)   // QCOMPARE output
{
    return qstrdup(QByteArray("{" + QByteArray::number(r.start) + "," + QByteArray::number(r.end) + "}").constData());
}

class TesterDriver
{
public:
    explicit TesterDriver(std::vector<std::string> defaultNames = {"libpcre.so.3"})
    {
        PcreSetDefaultLibraryNames(std::move(defaultNames));
        dlg = std::make_unique<CTesterDlg>();
        dlg->Create();
    }
    ~TesterDriver()
    {
        dlg.reset();
        PcreSetDefaultLibraryNames({"libpcre.so.3", "libpcre.so.1"});
    }

    QWidget *item(int id) const { return dlg->GetDlgItem(id); }
    QAbstractButton *button(int id) const { return qobject_cast<QAbstractButton *>(item(id)); }
    CRichEditCtrl *pattern() const { return qobject_cast<CRichEditCtrl *>(item(IDC_PATTERN)); }
    CRichEditCtrl *input() const { return qobject_cast<CRichEditCtrl *>(item(IDC_INPUT)); }
    QString status() const { return qobject_cast<CStatic *>(item(IDC_STATUS))->GetWindowText(); }
    QString libraryPath() const { return qobject_cast<QLineEdit *>(item(IDC_LIBRARY_PATH))->text(); }
    bool enabled(int id) const { return item(id)->isEnabled(); }

    void typePattern(const QByteArray &bytes) { pattern()->SetTextBytes(bytes); }
    void typeInput(const QByteArray &bytes) { input()->SetTextBytes(bytes); }
    void setCheck(int id, bool on)
    {
        if (button(id)->isChecked() != on)
            button(id)->click();
    }
    // Clicks like a user: a disabled button does nothing.
    void click(int id) { button(id)->click(); }

    Range selection() const
    {
        qint64 start = 0, end = 0;
        input()->GetSel(start, end);
        return {int(start), int(end)};
    }
    Range match() const
    {
        const int *offsets = dlg->Series().Offsets();
        return offsets ? Range{offsets[0], offsets[1]} : Range{-1, -1};
    }

    std::unique_ptr<CTesterDlg> dlg;
};

// Runs `action`, which opens a modal message box, closes that box and
// returns its title and text. The timer dies with the call, so an action
// that opens nothing leaves nothing behind to close a later dialog.
template <class Action>
std::pair<QString, QString> captureModalMessage(Action action)
{
    std::pair<QString, QString> seen;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&seen, &closer] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            seen.first = modal->windowTitle();
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                seen.second = box->text();
            closer.stop();
            modal->close();
        }
    });
    closer.start(0);
    action();
    return seen;
}

#include "CFullInfoDlg.h"

#include <QTest>

// Types a pattern and an input into the tester window and clicks Exec.
inline void typeAndExec(TesterDriver &t, const QByteArray &pattern, const QByteArray &input)
{
    t.typePattern(pattern);
    t.typeInput(input);
    t.click(IDC_EXEC);
}

// For cleanup(): a test leaves no window open behind it.

// The three windows after a match of two named groups: the tester window,
// its subpattern list (hidden again) and the expression details.
struct ThreeWindows
{
    ThreeWindows()
    {
        typeAndExec(tester, "(?<year>\\d{4})-(?<mon>\\d\\d)", "on 2026-12 and 2027-01");
        tester.click(IDC_MORE);
        tester.dlg->SubpatternList()->hide();
        details.FillFromPattern(tester.dlg->Series().CompiledPattern(), tester.dlg->Series().StudyData(),
                                tester.pattern()->GetTextBytes());
        details.Create();
    }
    CDialogBase &byTemplate(int templateId)
    {
        if (templateId == IDD_TESTER_DIALOG)
            return *tester.dlg;
        if (templateId == IDD_SUBPATTERNS_DIALOG)
            return *tester.dlg->SubpatternList();
        return details;
    }

    TesterDriver tester;
    CFullInfoDlg details{tester.dlg.get()};
};
