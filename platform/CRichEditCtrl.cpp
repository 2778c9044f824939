#include "CRichEditCtrl.h"

#include "LocalText.h"

#include <QKeyEvent>


#include <algorithm>
#include <cstring>

namespace {

// The one indicator that paints matched text red. Numbers from 8 up belong
// to the container rather than to a lexer.
constexpr int kRedIndicator = QsciScintillaBase::INDIC_CONTAINER;

} // namespace

CRichEditCtrl::CRichEditCtrl(QWidget *parent)
    : QsciScintilla(parent)
{
    UseDocumentWithoutStyles();
    setUtf8(LocaleIsUtf8());
    for (int margin = 0; margin < margins(); ++margin)
        setMarginWidth(margin, 0);
    FitWrapToLength(0);
    // With annotations shown, Scintilla lays out every inserted line at once
    // to size them: a 50 MB load would take half a minute instead of 0.3 s.
    setAnnotationDisplay(QsciScintilla::AnnotationHidden);
    SendScintilla(SCI_SETLAYOUTCACHE, long(SC_CACHE_PAGE));
    SendScintilla(SCI_SETIDLESTYLING, long(SC_IDLESTYLING_NONE));
    SendScintilla(SCI_HIDESELECTION, 0L);

    SendScintilla(SCI_INDICSETSTYLE, kRedIndicator, long(INDIC_TEXTFORE));
    SendScintilla(SCI_INDICSETFORE, kRedIndicator, QColor(255, 0, 0));

    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int, int modificationType, const char *, int, int, int, int, int, int, int) {
                if (m_bNotify && (modificationType & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)))
                    emit changeNotified();
            });
}

// A default document keeps a style byte per character; red colouring uses
// an indicator instead, so the text needs no styles: a third less memory
// for a large input.
void CRichEditCtrl::UseDocumentWithoutStyles()
{
    const long document = SendScintilla(SCI_CREATEDOCUMENT, 0UL, long(SC_DOCUMENTOPTION_STYLES_NONE));
    if (document == 0)
        return;
    SendScintilla(SCI_SETDOCPOINTER, 0UL, document);
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, document);   // the editor holds its own reference
}

// Lines wrap at word boundaries, as in a multi-line rich edit, up to a size:
// to show a place near the end of a wrapped text the editor must first wrap
// every line before it, which takes seconds for hundreds of megabytes. A
// longer text is shown unwrapped, with a horizontal scroll bar.
void CRichEditCtrl::FitWrapToLength(qint64 length)
{
    const bool wrap = length <= kMaxWrappedLength;
    setWrapMode(wrap ? QsciScintilla::WrapWord : QsciScintilla::WrapNone);
    SendScintilla(SCI_SETHSCROLLBAR, wrap ? 0L : 1L);
}

bool CRichEditCtrl::IsUtf8() const
{
    return isUtf8();
}

QByteArray CRichEditCtrl::GetTextBytes() const
{
    const qint64 length = GetTextLength();
    const auto *data = static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return QByteArray(data, length);
}

bool CRichEditCtrl::HasTextBytes(const QByteArray &bytes) const
{
    if (GetTextLength() != bytes.size())
        return false;
    const auto *data = static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return bytes.isEmpty() || std::memcmp(data, bytes.constData(), size_t(bytes.size())) == 0;
}

qint64 CRichEditCtrl::GetTextLength() const
{
    return SendScintilla(SCI_GETLENGTH);
}

void CRichEditCtrl::SetTextBytes(const QByteArray &bytes)
{
    // Each modification event makes the editor component copy the whole
    // inserted text, twice over for accessibility: for a large file that is
    // several times its size in memory. The caller gets one notification.
    const long eventMask = SendScintilla(SCI_GETMODEVENTMASK);
    SendScintilla(SCI_SETMODEVENTMASK, 0L);
    SendScintilla(SCI_SETUNDOCOLLECTION, 0L);
    SendScintilla(SCI_CLEARALL);
    // SCI_SETTEXT would stop at the first NUL.
    SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(bytes.size()), bytes.constData());
    SendScintilla(SCI_SETUNDOCOLLECTION, 1L);
    SendScintilla(SCI_SETMODEVENTMASK, eventMask);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    FitWrapToLength(bytes.size());
    // Clearing and appending were two edits, with their events muted; the
    // caller sees one.
    if (m_bNotify)
        emit changeNotified();
}

void CRichEditCtrl::SetSel(qint64 start, qint64 end)
{
    const qint64 length = GetTextLength();
    if (end < 0 || end > length)
        end = length;
    start = std::clamp<qint64>(start, 0, length);
    if (start > end)
        std::swap(start, end);
    if (IsUtf8()) {
        const bool empty = start == end;
        start = SnapBackToCharStart(start);
        end = empty ? start : SnapForwardToCharEnd(end);
    }
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(start), static_cast<long>(end));
    // The start of a match matters more than its end when both do not fit.
    SendScintilla(SCI_SCROLLRANGE, static_cast<unsigned long>(end), static_cast<long>(start));
}

void CRichEditCtrl::GetSel(qint64 &start, qint64 &end) const
{
    start = SendScintilla(SCI_GETSELECTIONSTART);
    end = SendScintilla(SCI_GETSELECTIONEND);
}

void CRichEditCtrl::SetSelectionColorRed()
{
    qint64 start = 0;
    qint64 end = 0;
    GetSel(start, end);
    SendScintilla(SCI_SETINDICATORCURRENT, kRedIndicator);
    SendScintilla(SCI_INDICATORFILLRANGE, static_cast<unsigned long>(start), static_cast<long>(end - start));
}

void CRichEditCtrl::SetAllColorAuto()
{
    SendScintilla(SCI_SETINDICATORCURRENT, kRedIndicator);
    SendScintilla(SCI_INDICATORCLEARRANGE, 0UL, static_cast<long>(GetTextLength()));
}

bool CRichEditCtrl::IsColoredRed(qint64 pos) const
{
    return SendScintilla(SCI_INDICATORVALUEAT, static_cast<unsigned long>(kRedIndicator),
                         static_cast<long>(pos)) != 0;
}

// Scintilla steps over whole characters (a byte that belongs to no valid
// sequence counts as one character), so one step forward and one back lands
// on the start of the character that holds `pos`.
qint64 CRichEditCtrl::SnapBackToCharStart(qint64 pos) const
{
    if (pos <= 0 || pos >= GetTextLength())
        return pos;
    const long after = SendScintilla(SCI_POSITIONAFTER, static_cast<long>(pos));
    return SendScintilla(SCI_POSITIONBEFORE, after);
}

qint64 CRichEditCtrl::SnapForwardToCharEnd(qint64 pos) const
{
    if (pos <= 0 || pos >= GetTextLength())
        return pos;
    const long before = SendScintilla(SCI_POSITIONBEFORE, static_cast<long>(pos));
    return SendScintilla(SCI_POSITIONAFTER, before);
}

bool CRichEditCtrl::focusNextPrevChild(bool next)
{
    // Tab moves on to the next control, as in any dialog field; Ctrl+Tab
    // types a tab character (keyPressEvent).
    return QWidget::focusNextPrevChild(next);
}

void CRichEditCtrl::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        SendScintilla(SCI_TAB);
        event->accept();
        return;
    }
    // Escape goes on to the dialog, which cancels on it from any field; the
    // editor has no pop-up of its own to close with it.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QsciScintilla::keyPressEvent(event);
}
