#include "CFullInfoDlg.h"

#include "CListBox.h"
#include "DataExchange.h"
#include "LocalText.h"
#include "PcreBinding.h"
#include "DialogTemplates.h"
#include "resource.h"

#include <QLabel>

#include <utility>

namespace {

// A value the engine does not give reads as empty.
template <int What, typename Format>
QString InfoText(const PcreCodePtr &code, const pcre_extra *extra, Format format)
{
    const auto value = PcreFullInfo<What>(code, extra);
    return value ? format(*value) : QString();
}

QString Number(long long value)
{
    return QString::number(value);
}

// The whole value, then its low-order byte as a character.
QString ValueWithCharacter(int value)
{
    const QByteArray text = QByteArray::number(value) + " (" + char(value & 0xFF) + ')';
    return DecodeLocalBytes(text);
}

bool IsCaptionLeftOf(const ControlTemplate &caption, const ControlTemplate &value)
{
    return caption.kind == ControlKind::Static && caption.id == IDC_STATIC
           && caption.y < value.y + value.cy && value.y < caption.y + caption.cy
           && caption.x + caption.cx <= value.x;
}

// A value is named by what it shows, so a screen reader hears each new
// value; the nearest caption on its left becomes its label, so the reader
// can say what the value is.
void LabelValuesWithCaptions(const CDialogBase &dialog)
{
    const auto &controls = dialog.Template().controls;
    for (int value = 0; value < int(controls.size()); ++value) {
        if (controls[value].kind != ControlKind::Static || controls[value].id == IDC_STATIC)
            continue;
        int caption = -1;
        for (int candidate = 0; candidate < int(controls.size()); ++candidate) {
            if (IsCaptionLeftOf(controls[candidate], controls[value])
                && (caption < 0 || controls[candidate].x > controls[caption].x))
                caption = candidate;
        }
        if (auto *label = qobject_cast<QLabel *>(dialog.ControlAt(caption)))
            label->setBuddy(dialog.ControlAt(value));
    }
}

} // namespace

CFullInfoDlg::CFullInfoDlg(QWidget *parent)
    : CDialogBase(LoadDialogTemplate(IDD_FULLINFO_DIALOG), parent)
{
    LabelValuesWithCaptions(*this);
}

void CFullInfoDlg::DoDataExchange(CDataExchange *pDX)
{
    CDialogBase::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_INFO_NAMES, m_lstNames);
    DDX_Text(pDX, IDC_INFO_BACKREFMAX, m_strBackRefMax);
    DDX_Text(pDX, IDC_INFO_CAPTURECOUNT, m_strCaptureCount);
    DDX_Text(pDX, IDC_INFO_OPTIONS, m_strOptions);
    DDX_Text(pDX, IDC_INFO_PATTERN, m_strPattern);
    DDX_Text(pDX, IDC_INFO_FIRSTBYTE, m_strFirstByte);
    DDX_Text(pDX, IDC_INFO_FIRSTTABLE, m_strFirstTable);
    DDX_Text(pDX, IDC_INFO_LASTLITERAL, m_strLastLiteral);
    DDX_Text(pDX, IDC_INFO_NAMECOUNT, m_strNameCount);
    DDX_Text(pDX, IDC_INFO_NAMEENTRYSIZE, m_strNameEntrySize);
    DDX_Text(pDX, IDC_INFO_SIZE, m_strSize);
    DDX_Text(pDX, IDC_INFO_STUDYSIZE, m_strStudySize);
}

QString CFullInfoDlg::FirstByteText(int value)
{
    if (value == -2)
        return QStringLiteral("No (only anchored)");
    if (value == -1)
        return QStringLiteral("No (only at the start)");
    return ValueWithCharacter(value);
}

QString CFullInfoDlg::LastLiteralText(int value)
{
    return value == -1 ? QStringLiteral("No such byte") : ValueWithCharacter(value);
}

QString CFullInfoDlg::OptionWords(unsigned long options)
{
    static const std::pair<unsigned long, const char *> kWords[] = {
        {PCRE_ANCHORED, "ANCHORED "},       {PCRE_CASELESS, "CASELESS "},
        {PCRE_DOLLAR_ENDONLY, "DOLLAR_ENDONLY "}, {PCRE_DOTALL, "DOTALL "},
        {PCRE_EXTENDED, "EXTENDED "},       {PCRE_EXTRA, "EXTRA "},
        {PCRE_MULTILINE, "MULTILINE "},     {PCRE_NO_AUTO_CAPTURE, "NO_AUTO_CAPTURE "},
        {PCRE_UNGREEDY, "UNGREEDY "},       {PCRE_UTF8, "UTF8 "},
        {PCRE_NO_UTF8_CHECK, "NO_UTF8_CHECK"},
    };
    QString words;
    for (const auto &[bit, word] : kWords) {
        if (options & bit)
            words += QLatin1String(word);
    }
    return words;
}

void CFullInfoDlg::FillFromPattern(const PcreCodePtr &code, const pcre_extra *extra, const QByteArray &text)
{
    m_strPattern = DecodeLocalBytes(text);
    if (!code)
        return;
    m_strBackRefMax = InfoText<PCRE_INFO_BACKREFMAX>(code, extra, Number);
    m_strCaptureCount = InfoText<PCRE_INFO_CAPTURECOUNT>(code, extra, Number);
    m_strFirstByte = InfoText<PCRE_INFO_FIRSTBYTE>(code, extra, FirstByteText);
    m_strFirstTable = InfoText<PCRE_INFO_FIRSTTABLE>(code, extra, [](const unsigned char *table) {
        return table ? QStringLiteral("Yes") : QStringLiteral("No");
    });
    m_strLastLiteral = InfoText<PCRE_INFO_LASTLITERAL>(code, extra, LastLiteralText);
    m_strSize = InfoText<PCRE_INFO_SIZE>(code, extra, [](std::size_t size) { return QString::number(size); });
    m_strStudySize = InfoText<PCRE_INFO_STUDYSIZE>(code, extra, [](std::size_t size) { return QString::number(size); });
    m_strOptions = InfoText<PCRE_INFO_OPTIONS>(code, extra, OptionWords);
    m_pNameTable = PcreNameTable::Of(*code.get_deleter().library, code.get(), extra);
    // The counts as the engine gives them, even when its table cannot be
    // read; the list then stays empty.
    m_nNameCount = PcreFullInfo<PCRE_INFO_NAMECOUNT>(code, extra).value_or(0);
    m_strNameCount = QString::number(m_nNameCount);
    m_nNameEntrySize = PcreFullInfo<PCRE_INFO_NAMEENTRYSIZE>(code, extra).value_or(0);
    m_strNameEntrySize = QString::number(m_nNameEntrySize);
}

bool CFullInfoDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    m_lstNames->ResetContent();
    if (!m_pNameTable.Problem().empty())
        m_lstNames->AddString("(cannot be read: " + QByteArray::fromStdString(m_pNameTable.Problem()) + ')');
    for (int i = 0; i < m_pNameTable.Count(); ++i)
        m_lstNames->AddString(QByteArray::number(m_pNameTable.NumberAt(i)) + ' '
                              + QByteArray::fromStdString(m_pNameTable.NameAt(i)));
    return true;
}
