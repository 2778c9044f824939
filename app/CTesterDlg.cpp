// Construction, data exchange, start-up, library loading and teardown of
// the tester window.

#include "CTesterDlg.h"

#include "AppIcon.h"
#include "CRichEditCtrl.h"
#include "CStatic.h"
#include "CSubpatternListDlg.h"
#include "EngineMessages.h"
#include "DataExchange.h"
#include "StringTable.h"
#include "SearchWait.h"
#include "DialogTemplates.h"
#include "resource.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

// The captions stay as they are; the tips spell out what they stand for.
const CTesterDlg::Modifier CTesterDlg::kModifiers[6] = {
    {IDC_CASELESS, &CTesterDlg::m_bCaseless, PCRE_CASELESS, false,
     "Caseless matching: letters match their other case too (PCRE_CASELESS)"},
    {IDC_MULTILINE, &CTesterDlg::m_bMultiline, PCRE_MULTILINE, false,
     "Multi-line: ^ and $ also match at every line break in the input (PCRE_MULTILINE)"},
    {IDC_DOTALL, &CTesterDlg::m_bDotAll, PCRE_DOTALL, false,
     "Dot matches newline: . matches line breaks too (PCRE_DOTALL)"},
    {IDC_EXTENDED, &CTesterDlg::m_bExtended, PCRE_EXTENDED, false,
     "Extended: white space in the pattern is ignored and # starts a comment (PCRE_EXTENDED)"},
    {IDC_GREEDY, &CTesterDlg::m_bGreedy, PCRE_UNGREEDY, true,
     "Checked: quantifiers are greedy.\nUnchecked: quantifiers are ungreedy (PCRE_UNGREEDY)"},
    {IDC_LOCALE_CHECK, &CTesterDlg::m_bLocale, 0, false,
     "Match with character tables built for the locale named in the field: "
     "letters, cases and character classes as that locale defines them (pcre_maketables)"},
};

namespace {

// Besides the modifiers, what needs a library to be of use.
constexpr int kLibraryDependentControls[] = {IDC_PATTERN, IDC_LOAD_PATTERN};

} // namespace

CTesterDlg::CTesterDlg(QWidget *parent)
    : CDialogBase(LoadDialogTemplate(IDD_TESTER_DIALOG), parent)
    , m_series([this](PcreSearch &search) { WaitWhileSearching(search); })
    , m_strStatus(NoLibraryMessage())
    , m_hIcon(LoadAppIcon())
{
    setWindowIcon(m_hIcon);
    // Bind the control members now, so handlers can run before the window
    // is initialised (as they may in tests).
    CDataExchange dx(this, true);
    DDX_Control(&dx, IDC_HIGHLIGHT, m_btnHighlight);
    DDX_Control(&dx, IDC_PATTERN, m_reditPattern);
    DDX_Control(&dx, IDC_INPUT, m_reditInput);
    DDX_Control(&dx, IDC_STATUS, m_stcStatus);
    DDX_Control(&dx, IDC_LIBRARY_PATH, m_edtLibraryPath);
    ConnectMessageMap();
    SetUpDesktopIntegration();
}

CTesterDlg::~CTesterDlg()
{
    m_series.ReleasePattern();
    if (PcreIsLoaded())
        PcreUnload();
}

void CTesterDlg::ConnectMessageMap()
{
    auto onClick = [this](int id, void (CTesterDlg::*handler)()) {
        auto *button = qobject_cast<QAbstractButton *>(GetDlgItem(id));
        connect(button, &QAbstractButton::clicked, this, handler);
    };
    onClick(IDC_EXEC, &CTesterDlg::OnExec);
    onClick(IDC_EXEC_NEXT, &CTesterDlg::OnExecNext);
    onClick(IDC_LOAD_INPUT, &CTesterDlg::OnLoadInputFile);
    onClick(IDC_BROWSE, &CTesterDlg::OnBrowseLibrary);
    // The window follows these boxes however they change: a click, the
    // keyboard or a screen reader's toggle action.
    auto onToggle = [this](int id, void (CTesterDlg::*handler)()) {
        auto *box = qobject_cast<QAbstractButton *>(GetDlgItem(id));
        connect(box, &QAbstractButton::toggled, this, handler);
    };
    onToggle(IDC_LOCALE_CHECK, &CTesterDlg::OnLocaleCheck);
    connect(m_reditPattern, &CRichEditCtrl::changeNotified, this, &CTesterDlg::OnChangePattern);
    onClick(IDC_DETAILS, &CTesterDlg::OnExpressionDetails);
    onClick(IDC_MORE, &CTesterDlg::OnMore);
    connect(m_reditInput, &CRichEditCtrl::changeNotified, this, &CTesterDlg::OnChangeInput);
    onToggle(IDC_HIGHLIGHT, &CTesterDlg::OnHighlightCheck);
    onClick(IDC_LOAD_PATTERN, &CTesterDlg::OnLoadPatternFile);
}

void CTesterDlg::DoDataExchange(CDataExchange *pDX)
{
    CDialogBase::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_HIGHLIGHT, m_btnHighlight);
    DDX_Control(pDX, IDC_PATTERN, m_reditPattern);
    DDX_Control(pDX, IDC_INPUT, m_reditInput);
    DDX_Control(pDX, IDC_STATUS, m_stcStatus);
    DDX_Control(pDX, IDC_LIBRARY_PATH, m_edtLibraryPath);
    for (const Modifier &modifier : kModifiers)
        DDX_Check(pDX, modifier.controlId, this->*modifier.state);
    DDX_Text(pDX, IDC_LOCALE, m_strLocale);
    DDX_Text(pDX, IDC_INPUT, m_strInput);
    DDX_Text(pDX, IDC_STATUS, m_strStatus);
}

bool CTesterDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();

    QString path;
    LoadLibraryFromPath(path);

    m_bLocale = true;
    m_strLocale = QString::fromLocal8Bit(GetAnsiLocaleName());
    UpdateData(false);
    // At start-up the locale field follows the check box even when no
    // library loaded.
    EnableDlgItem(IDC_LOCALE, m_bLocale);

    m_reditInput->SetEventMask(true);
    m_reditPattern->SetEventMask(true);
    return true;
}

void CTesterDlg::LoadLibraryFromPath(QString &path)
{
    if (m_series.IsSearching())
        return;
    // The compiled pattern holds its own library: it is released here
    // because its series ends, not to keep the library alive.
    m_series.ReleasePattern();
    if (PcreIsLoaded())
        PcreUnload();
    // The series the released pattern belonged to is over.
    EnableDlgItem(IDC_EXEC_NEXT, false);
    EnableDlgItem(IDC_MORE, false);
    HideSubpatternList();

    const QByteArray encodedPath = QFile::encodeName(path);
    PcreLoad(encodedPath.constData());

    if (PcreIsLoaded()) {
        UpdateData(true);
        m_strStatus = LoadResString(IDS_LIBRARY_LOADED) + QString::fromLocal8Bit(PcreVersionText());
        UpdateData(false);
        path = QFile::decodeName(QByteArray::fromStdString(PcreGetModulePath()));
    }
    ApplyLibraryState();
    m_edtLibraryPath->setText(path);
    ReportRefusedLibrary();
}

// A file the user chose and the binding refused is never passed over in
// silence, whether the default library took its place or none did.
void CTesterDlg::ReportRefusedLibrary()
{
    const PcreLoadReport &report = PcreBinding.lastLoad;
    if (report.refusal.empty())
        return;
    QString text = QStringLiteral("%1 was not loaded: %2.")
                       .arg(QFile::decodeName(QByteArray::fromStdString(report.requested)),
                            QString::fromLocal8Bit(report.refusal));
    if (report.fellBack)
        text += QStringLiteral("\n\nThe default library was loaded instead: %1")
                    .arg(QFile::decodeName(QByteArray::fromStdString(PcreGetModulePath())));
    QMessageBox::warning(this, windowTitle(), text);
}

void CTesterDlg::ApplyLibraryState()
{
    UpdateData(true);
    const bool loaded = PcreIsLoaded();
    for (const Modifier &modifier : kModifiers)
        EnableDlgItem(modifier.controlId, loaded);
    for (int id : kLibraryDependentControls)
        EnableDlgItem(id, loaded);
    EnableDlgItem(IDC_LOCALE, loaded && m_bLocale);
    if (loaded)
        return;
    m_strStatus = NoLibraryMessage();
    UpdateData(false);
}

void CTesterDlg::OnLocaleCheck()
{
    // Only the box is read: this runs while data exchange sets the box too,
    // before the locale field has been written.
    m_bLocale = qobject_cast<QAbstractButton *>(GetDlgItem(IDC_LOCALE_CHECK))->isChecked();
    EnableDlgItem(IDC_LOCALE, m_bLocale);
}

void CTesterDlg::SetStatus(const QString &text)
{
    m_stcStatus->SetWindowText(text);
}

void CTesterDlg::HideSubpatternList()
{
    if (m_dlgSubpatterns)
        m_dlgSubpatterns->hide();
}
