// Fuzz target: pattern bytes, subject bytes and a modifier word go through
// the tester window as a user would drive it: live validation, Exec, a
// series of "Exec next", the subpattern list and the details report,
// against the real engine library.
//
// Input layout: byte 0 is the modifier word (bit 0 /i, 1 /m, 2 /s, 3 /x,
// 4 Greedy, 5 Highlight matches, 6 Locale:); byte 1 says how long the
// subject is, in steps of 256 bytes (0: as given); the pattern runs to the
// first NUL byte; the subject is the rest, repeated up to that length. A few
// bytes of input so describe the long subjects that drive the engine deep
// into recursion, where it used to run off its stack.
#include "CFullInfoDlg.h"
#include "CRichEditCtrl.h"
#include "CSubpatternListDlg.h"
#include "CTesterDlg.h"
#include "PcreBinding.h"
#include "SearchWait.h"
#include "resource.h"

#include <QAbstractButton>
#include <QApplication>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

QApplication *g_app = nullptr;
CTesterDlg *g_dlg = nullptr;

constexpr int kModifierIds[] = {IDC_CASELESS, IDC_MULTILINE, IDC_DOTALL, IDC_EXTENDED,
                                IDC_GREEDY, IDC_HIGHLIGHT, IDC_LOCALE_CHECK};

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

void SetModifiers(uint8_t word)
{
    for (int bit = 0; bit < 7; ++bit) {
        auto *box = qobject_cast<QAbstractButton *>(g_dlg->GetDlgItem(kModifierIds[bit]));
        if (box->isChecked() != bool(word & (1u << bit)))
            box->click();
    }
}

void CheckMatchInside(qint64 length)
{
    const MatchSeries &series = g_dlg->Series();
    const int *offsets = series.Offsets();
    if (!series.CompiledPattern() || !offsets || series.LastResult() <= 0)
        return;
    Require(offsets[0] >= 0 && offsets[0] <= offsets[1] && offsets[1] <= length);
}

void ShowDetails(const QByteArray &pattern)
{
    const PcreStudiedPattern studied = PcreCompileAndStudy(pattern.constData());
    CFullInfoDlg details(g_dlg);
    details.FillFromPattern(studied.code, studied.extra.get(), pattern);
    details.Create();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform's warnings (raise() and the like) would bury
    // the fuzzer's own output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    g_app = new QApplication(*argc, *argv);
    // A search that runs long is stopped, as a user would: a slow search is
    // no fault, the fuzzer's own timeout catches one that cannot be stopped.
    SetSearchGracePeriod(std::chrono::hours(24));
    SetSearchTimeLimit(std::chrono::seconds(2));
    g_dlg = new CTesterDlg;
    g_dlg->Create();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const qsizetype nul = rest.indexOf('\0');
    const QByteArray pattern = nul < 0 ? rest : rest.left(nul);
    QByteArray subject = nul < 0 ? QByteArray() : rest.mid(nul + 1);
    if (subject.isEmpty())
        return 0;   // an empty input only opens a message box
    const qsizetype length = qsizetype(data[1]) * 256;
    if (length > subject.size())
        subject = subject.repeated(length / subject.size() + 1).left(length);

    auto *patternField = qobject_cast<CRichEditCtrl *>(g_dlg->GetDlgItem(IDC_PATTERN));
    auto *inputField = qobject_cast<CRichEditCtrl *>(g_dlg->GetDlgItem(IDC_INPUT));
    SetModifiers(data[0]);
    patternField->SetTextBytes(pattern);
    inputField->SetTextBytes(subject);

    g_dlg->OnExec();
    CheckMatchInside(subject.size());
    for (int step = 0; step < 16 && g_dlg->GetDlgItem(IDC_EXEC_NEXT)->isEnabled(); ++step) {
        g_dlg->OnExecNext();
        CheckMatchInside(subject.size());
    }
    if (g_dlg->GetDlgItem(IDC_MORE)->isEnabled()) {
        g_dlg->OnMore();
        g_dlg->SubpatternList()->hide();
    }
    if (g_dlg->GetDlgItem(IDC_DETAILS)->isEnabled())
        ShowDetails(pattern);

    // Nothing the engine did may change what the user typed.
    Require(patternField->GetTextBytes() == pattern);
    Require(inputField->GetTextBytes() == subject);
    return 0;
}
