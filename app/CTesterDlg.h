#pragma once
// The tester window.
//
// Architecture
// ------------
// The program is one window, built from dialog template 102, that drives
// the PCRE engine through the engine binding (engine/PcreBinding.h) and a
// match series that holds no widgets (MatchSeries):
//
//   CTesterApp ──runs──▶ CTesterDlg ──▶ MatchSeries ──▶ PcreSearch (child process)
//                          │   ▲   └──────────────────▶ PcreBinding (dlopen'd libpcre)
//                 Fill()   │   │ WM_SUBPATTERN_SELECT (start, end)
//                          ▼   │
//                   CSubpatternListDlg        CFullInfoDlg (modal, borrowed pattern)
//
// * Start-up loads the default library and shows its version and path;
//   "Browse..." loads another one. A load always releases the compiled
//   pattern through the old library first.
// * Every edit of the pattern compiles it without options to enable or
//   disable "Exec" (live validation); every edit of the input withdraws the
//   results that belonged to the old text.
// * "Exec" compiles with the chosen modifiers and locale tables, studies,
//   and matches from offset 0; "Exec next" goes on from the end of the
//   previous match with the same compiled pattern. The match series owns
//   the compiled pattern, its study data and the offsets vector between
//   calls; every search runs in a child process, so the library cannot take
//   the window down, and "Stop" ends it at once.
// * The modifiers are described once (Modifier table): data exchange, the
//   option word, the enable rules and the tooltips read it.
// * The subject is exactly the bytes the input field holds; engine offsets
//   are offsets into those bytes, which the field maps to its positions
//   (they differ past a long line shown in rows).
// * No command calls into the engine while no library is loaded
//   (PcreIsLoaded() is the guard).
//
// Handlers are connected in one place, ConnectMessageMap().

#include "CDialogBase.h"
#include "MatchSeries.h"
#include "PcreBinding.h"

#include <QByteArray>
#include <QIcon>
#include <QString>

#include <memory>

class CRichEditCtrl;
class CStatic;
class CSubpatternListDlg;
class QCheckBox;
class QLineEdit;

class CTesterDlg : public CDialogBase
{
    Q_OBJECT
public:
    explicit CTesterDlg(QWidget *parent = nullptr);
    ~CTesterDlg() override;

    // Loads the library at `path` (empty: the default library). On success
    // `path` becomes the full path of the file actually loaded.
    void LoadLibraryFromPath(QString &path);
    void ApplyLibraryState();

    // Command handlers (public so tests can drive them like clicks).
    void OnExec();
    void OnExecNext();
    void OnLocaleCheck();
    void OnHighlightCheck();
    void OnChangePattern();
    void OnChangeInput();
    void OnMore();
    void OnSelectRange(qint64 start, qint64 end);
    void OnExpressionDetails();
    void OnLoadInputFile();
    void OnLoadPatternFile();
    void OnBrowseLibrary();

    // Load a chosen file into a field, as the load buttons do after their
    // dialog (also used for files dropped on a field).
    void LoadInputFromFile(const QString &path);
    void LoadPatternFromFile(const QString &path);

    // Read access for tests and the result views.
    const MatchSeries &Series() const { return m_series; }
    CSubpatternListDlg *SubpatternList() const { return m_dlgSubpatterns.get(); }

protected:
    void DoDataExchange(CDataExchange *pDX) override;
    bool OnInitDialog() override;

private:
    // One modifier check box: its member, the option bit it stands for and
    // the tip that says so.
    struct Modifier
    {
        int controlId;
        bool CTesterDlg::*state;
        int optionBit;          // 0: none
        bool bitWhenUnchecked;  // "Greedy" asks for ungreedy matching when unchecked
        const char *tip;
    };
    static const Modifier kModifiers[6];

    void ConnectMessageMap();
    // Shortcut keys, modifier tooltips, editor colours and file drops
    // (CTesterDlgDesktop.cpp).
    void SetUpDesktopIntegration();
    void ShowOutcome(const MatchSeries::Outcome &outcome);
    void WaitWhileSearching(PcreSearch &search);
    static constexpr int kPrepareNextDelay = 20;   // ms
    void ShowMatchResult();
    void ReportRefusedLibrary();
    void SetStatus(const QString &text);
    void HideSubpatternList();
    // The reason the library's table of names could not be read, if so.
    std::string RefillSubpatternList();
    void CreateSubpatternList();
    bool ReadFileForField(const QString &path, QByteArray &bytes);
    int BuildOptions() const;

    MatchSeries m_series;
    std::unique_ptr<CSubpatternListDlg> m_dlgSubpatterns;   // created on the first "More..."

    QCheckBox *m_btnHighlight = nullptr;
    CRichEditCtrl *m_reditPattern = nullptr;
    CRichEditCtrl *m_reditInput = nullptr;
    CStatic *m_stcStatus = nullptr;
    QLineEdit *m_edtLibraryPath = nullptr;

    bool m_bGreedy = false;
    bool m_bCaseless = false;
    bool m_bLocale = false;
    bool m_bMultiline = false;
    bool m_bDotAll = false;
    bool m_bExtended = false;
    QString m_strLocale;
    // A view of the input field's text (DDX_Text), valid until the field
    // changes: read only right after UpdateData(true).
    QByteArray m_strInput;
    QString m_strStatus;
    QIcon m_hIcon;
};
