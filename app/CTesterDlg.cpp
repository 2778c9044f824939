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
#include "resource.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Controls that follow the engine's loaded state, in the order they are
// enabled.
constexpr int kLibraryDependentControls[] = {
    IDC_CASELESS, IDC_DOTALL, IDC_MULTILINE, IDC_EXTENDED,
    IDC_GREEDY, IDC_LOCALE_CHECK, IDC_PATTERN, IDC_LOAD_PATTERN,
};

} // namespace

CTesterDlg::CTesterDlg(QWidget *parent)
    : CDialogBase(IDD_TESTER_DIALOG, parent)
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
    // Engine memory goes back through the library that made it, before the
    // library itself goes.
    if (PcreIsLoaded()) {
        ReleasePattern();
        PcreUnload();
    }
    m_pOffsets.reset();
    m_nOffsetsSize = 0;
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
    onClick(IDC_LOCALE_CHECK, &CTesterDlg::OnLocaleCheck);
    connect(m_reditPattern, &CRichEditCtrl::changeNotified, this, &CTesterDlg::OnChangePattern);
    onClick(IDC_DETAILS, &CTesterDlg::OnExpressionDetails);
    onClick(IDC_MORE, &CTesterDlg::OnMore);
    connect(m_reditInput, &CRichEditCtrl::changeNotified, this, &CTesterDlg::OnChangeInput);
    onClick(IDC_HIGHLIGHT, &CTesterDlg::OnHighlightCheck);
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
    DDX_Check(pDX, IDC_GREEDY, m_bGreedy);
    DDX_Check(pDX, IDC_CASELESS, m_bCaseless);
    DDX_Check(pDX, IDC_LOCALE_CHECK, m_bLocale);
    DDX_Check(pDX, IDC_MULTILINE, m_bMultiline);
    DDX_Check(pDX, IDC_DOTALL, m_bDotAll);
    DDX_Check(pDX, IDC_EXTENDED, m_bExtended);
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
    if (PcreIsLoaded()) {
        ReleasePattern();
        PcreUnload();
    }
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
}

void CTesterDlg::ApplyLibraryState()
{
    UpdateData(true);
    if (PcreIsLoaded()) {
        for (int id : kLibraryDependentControls)
            EnableDlgItem(id, true);
        EnableDlgItem(IDC_LOCALE, m_bLocale);
        return;
    }
    for (int id : kLibraryDependentControls)
        EnableDlgItem(id, false);
    EnableDlgItem(IDC_LOCALE, false);
    m_strStatus = NoLibraryMessage();
    UpdateData(false);
}

void CTesterDlg::OnLocaleCheck()
{
    UpdateData(true);
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
