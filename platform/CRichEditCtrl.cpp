#include "CRichEditCtrl.h"

#include "CRichEditAccessible.h"
#include "LocalText.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// The one indicator that paints matched text red. Numbers from 8 up belong
// to the container rather than to a lexer.
constexpr int kRedIndicator = QsciScintillaBase::INDIC_CONTAINER;

// The editor component reports an insertion or a deletion to its own
// accessibility code before it reaches us, and that code counts characters
// from the start of the text each time. Only the notices sent before an
// edit bypass it: they are the ones asked for.
constexpr long kEditNotices = QsciScintillaBase::SC_MOD_BEFOREINSERT | QsciScintillaBase::SC_MOD_BEFOREDELETE;

void InstallAccessibleFactoryOnce()
{
    static const bool installed = (QAccessible::installFactory(CRichEditAccessible::Factory), true);
    Q_UNUSED(installed);
}

} // namespace

// Events and calls can nest; what they changed is announced when the
// outermost one ends.
class CRichEditCtrl::EditScope
{
public:
    explicit EditScope(CRichEditCtrl &editor) : m_editor(editor) { ++m_editor.m_nEditScopes; }
    ~EditScope()
    {
        if (--m_editor.m_nEditScopes == 0)
            m_editor.AnnounceEdits();
    }
    EditScope(const EditScope &) = delete;
    EditScope &operator=(const EditScope &) = delete;

private:
    CRichEditCtrl &m_editor;
};

CRichEditCtrl::CRichEditCtrl(QWidget *parent)
    : QsciScintilla(parent)
{
    InstallAccessibleFactoryOnce();
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

    SendScintilla(SCI_SETMODEVENTMASK, kEditNotices);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int modificationType, const char *, int length, int, int, int, int, int, int) {
                if (modificationType & kEditNotices)
                    OnBeforeEdit(position, modificationType, length);
            });
    connect(this, &QsciScintillaBase::SCN_UPDATEUI, this, [this](int updated) {
        if (updated & SC_UPDATE_SELECTION)
            AnnounceCaret();
    });
}

void CRichEditCtrl::OnBeforeEdit(int position, int modificationType, int length)
{
    m_bChangePending = m_bChangePending || m_bNotify;
    m_unchangedCopy.clear();
    const bool inserted = modificationType & SC_MOD_BEFOREINSERT;
    if (QAccessible::isActive()) {
        ReadInsertedText();
        // Inserted text is read once it is in place.
        m_pendingAccessibleEdits.push_back({inserted, m_textMap.OffsetAt(position), position, length,
                                            inserted ? QString() : m_textMap.Text(position, qint64(position) + length)});
    }
    if (inserted)
        m_textMap.NoteInsert(position, length);
    else
        m_textMap.NoteDelete(position, length);
    // An edit made by a call from outside any event is announced as soon as
    // control returns to the event loop.
    if (m_nEditScopes == 0 && !m_bAnnounceQueued) {
        m_bAnnounceQueued = true;
        QTimer::singleShot(0, this, &CRichEditCtrl::AnnounceEdits);
    }
}

// The previous edit is complete when the next one begins or when the edits
// are announced.
void CRichEditCtrl::ReadInsertedText()
{
    if (m_pendingAccessibleEdits.empty())
        return;
    AccessibleEdit &last = m_pendingAccessibleEdits.back();
    if (last.inserted && last.text.isNull())
        last.text = m_textMap.Text(last.position, last.position + last.length);
}

void CRichEditCtrl::AnnounceEdits()
{
    m_bAnnounceQueued = false;
    ReadInsertedText();
    const std::vector<AccessibleEdit> edits = std::exchange(m_pendingAccessibleEdits, {});
    for (const AccessibleEdit &edit : edits) {
        if (edit.inserted) {
            QAccessibleTextInsertEvent event(this, int(edit.offset), edit.text);
            QAccessible::updateAccessibility(&event);
        } else {
            QAccessibleTextRemoveEvent event(this, int(edit.offset), edit.text);
            QAccessible::updateAccessibility(&event);
        }
    }
    if (std::exchange(m_bChangePending, false) && m_bNotify)
        emit changeNotified();
}

// The caret and the selection, told to a screen reader when they move.
void CRichEditCtrl::AnnounceCaret()
{
    if (!QAccessible::isActive())
        return;
    const qint64 caret = m_textMap.OffsetAt(SendScintilla(SCI_GETCURRENTPOS));
    if (caret != m_nAnnouncedCaret) {
        m_nAnnouncedCaret = caret;
        QAccessibleTextCursorEvent event(this, int(caret));
        QAccessible::updateAccessibility(&event);
    }
    qint64 start = 0, end = 0;
    GetSel(start, end);
    start = m_textMap.OffsetAt(start);
    end = m_textMap.OffsetAt(end);
    if (start != end && (start != m_nAnnouncedSelStart || end != m_nAnnouncedSelEnd)) {
        QAccessibleTextSelectionEvent event(this, int(start), int(end));
        QAccessible::updateAccessibility(&event);
    }
    m_nAnnouncedSelStart = start;
    m_nAnnouncedSelEnd = end;
}

bool CRichEditCtrl::event(QEvent *event)
{
    EditScope scope(*this);
    return QsciScintilla::event(event);
}

bool CRichEditCtrl::viewportEvent(QEvent *event)
{
    EditScope scope(*this);
    return QsciScintilla::viewportEvent(event);
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

namespace {

// The length of the longest line, counting CR, LF and CR LF as line ends.
qint64 LongestLine(const QByteArray &bytes)
{
    const char *const begin = bytes.constData();
    const char *const end = begin + bytes.size();
    qint64 longest = 0;
    for (const char *line = begin; line < end;) {
        const auto *lf = static_cast<const char *>(std::memchr(line, '\n', size_t(end - line)));
        const char *stop = lf ? lf : end;
        // Lone CRs end lines too; they matter only in a long stretch.
        if (stop - line > CRichEditCtrl::kMaxLineLength) {
            for (const char *cr; (cr = static_cast<const char *>(std::memchr(line, '\r', size_t(stop - line))));) {
                longest = std::max<qint64>(longest, cr - line);
                line = cr + 1;
            }
        }
        longest = std::max<qint64>(longest, stop - line);
        line = stop + 1;
    }
    return longest;
}

} // namespace

QString CRichEditCtrl::WhyNotShown(const QByteArray &bytes)
{
    const qint64 longest = LongestLine(bytes);
    if (longest <= kMaxLineLength)
        return QString();
    return QStringLiteral("it has a line of %1 bytes, and the field shows lines of up to %2 bytes")
        .arg(longest)
        .arg(kMaxLineLength);
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
    if (bytes.isSharedWith(m_unchangedCopy))
        return true;
    const auto *data = static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return bytes.isEmpty() || std::memcmp(data, bytes.constData(), size_t(bytes.size())) == 0;
}

qint64 CRichEditCtrl::GetTextLength() const
{
    return SendScintilla(SCI_GETLENGTH);
}

void CRichEditCtrl::SetTextBytes(const QByteArray &bytes)
{
    // The caller gets one notification for the clearing and the appending,
    // and a screen reader one replacement.
    const bool announce = QAccessible::isActive();
    const qint64 oldCount = announce ? m_textMap.OffsetCount() : 0;
    SendScintilla(SCI_SETMODEVENTMASK, 0L);
    SendScintilla(SCI_SETUNDOCOLLECTION, 0L);
    SendScintilla(SCI_CLEARALL);
    // SCI_SETTEXT would stop at the first NUL.
    SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(bytes.size()), bytes.constData());
    SendScintilla(SCI_SETUNDOCOLLECTION, 1L);
    SendScintilla(SCI_SETMODEVENTMASK, kEditNotices);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    m_textMap.NoteReplaced();
    m_unchangedCopy = bytes;
    FitWrapToLength(bytes.size());
    if (announce) {
        // As Qt's own text fields do: the new text, and as many spaces as
        // the old one had characters.
        QAccessibleTextUpdateEvent event(this, 0, QString(oldCount, QLatin1Char(' ')),
                                         CEditorTextMap::Decode(bytes.constData(), bytes.size(), IsUtf8()));
        QAccessible::updateAccessibility(&event);
    }
    if (m_bNotify)
        emit changeNotified();
}

void CRichEditCtrl::ReplaceSelectionBytes(const QByteArray &bytes)
{
    EditScope scope(*this);
    SendScintilla(SCI_TARGETFROMSELECTION);
    // SCI_REPLACESEL would stop at the first NUL.
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()), bytes.constData());
    const long end = SendScintilla(SCI_GETTARGETEND);
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(end), end);
}

bool CRichEditCtrl::ColourRunAt(qint64 pos, qint64 &start, qint64 &end) const
{
    start = SendScintilla(SCI_INDICATORSTART, static_cast<unsigned long>(kRedIndicator), static_cast<long>(pos));
    end = SendScintilla(SCI_INDICATOREND, static_cast<unsigned long>(kRedIndicator), static_cast<long>(pos));
    return IsColoredRed(pos);
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
        start = m_textMap.CharStartAtOrBefore(start);
        end = empty ? start : m_textMap.CharEndAtOrAfter(end);
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
