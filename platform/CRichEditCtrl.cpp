#include "CRichEditCtrl.h"

#include "CRichEditAccessible.h"
#include "DocumentLoad.h"
#include "LocalText.h"
#include "RowCutter.h"

#include <Qsci/qscicommandset.h>

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <QtDebug>

#include <algorithm>
#include <climits>
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

// The bytes of a copied selection, for pasting them back exactly; other
// programs take the text.
const QString kBytesFormat = QStringLiteral("application/x-pcrechecker-bytes");

static_assert(CRichEditCtrl::kMostBytesShown + CRowCutter::MostCutsFor(CRichEditCtrl::kMostBytesShown) <= INT_MAX);
static_assert(CRichEditCtrl::kMostBytesShown + 1 + CRowCutter::MostCutsFor(CRichEditCtrl::kMostBytesShown + 1)
              > INT_MAX);

// Bytes read from the editor at a time to cut a long line.
constexpr qint64 kCutPiece = 1 << 20;

// The editor component's line, case and block-selection commands: a text
// field has none, and in a text shown in rows they work on rows and copy
// their breaks into the text.
constexpr QsciCommand::Command kCommandsNotOfAField[] = {
    QsciCommand::LineDelete,          QsciCommand::LineCut,           QsciCommand::LineCopy,
    QsciCommand::LineTranspose,       QsciCommand::LineDuplicate,     QsciCommand::MoveSelectedLinesUp,
    QsciCommand::MoveSelectedLinesDown, QsciCommand::SelectionDuplicate, QsciCommand::SelectionLowerCase,
    QsciCommand::SelectionUpperCase,  QsciCommand::ReverseLines,      QsciCommand::DeleteLineLeft,
    QsciCommand::DeleteLineRight,     QsciCommand::LineDownRectExtend, QsciCommand::LineUpRectExtend,
    QsciCommand::CharLeftRectExtend,  QsciCommand::CharRightRectExtend, QsciCommand::HomeRectExtend,
    QsciCommand::VCHomeRectExtend,    QsciCommand::LineEndRectExtend, QsciCommand::PageUpRectExtend,
    QsciCommand::PageDownRectExtend,
};

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
    for (const QsciCommand::Command command : kCommandsNotOfAField) {
        if (QsciCommand *bound = standardCommands()->find(command)) {
            bound->setKey(0);
            bound->setAlternateKey(0);
        }
    }

    SendScintilla(SCI_INDICSETSTYLE, kRedIndicator, long(INDIC_TEXTFORE));
    SendScintilla(SCI_INDICSETFORE, kRedIndicator, QColor(255, 0, 0));

    SendScintilla(SCI_SETMODEVENTMASK, kEditNotices);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int modificationType, const char *, int length, int, int, int, int, int, int) {
                if (modificationType & kEditNotices)
                    OnBeforeEdit(position, modificationType, length);
            });
    connect(this, &QsciScintillaBase::SCN_UPDATEUI, this, [this](int updated) {
        if (updated & SC_UPDATE_SELECTION) {
            KeepSelectionPlain();
            AnnounceCaret();
        }
    });
}

// Positions are the document's; the text's bytes, the reader's text and the
// breaks of rows follow.
void CRichEditCtrl::OnBeforeEdit(qint64 position, int modificationType, qint64 length)
{
    const bool inserted = modificationType & SC_MOD_BEFOREINSERT;
    const qint64 offset = m_rows.OffsetAt(position);
    const auto [first, last] = m_rows.BreaksIn(position, inserted ? position : position + length);
    const qint64 bytes = length - qint64(last - first);
    NoteEditedRange(position, inserted ? length : 0, inserted ? 0 : length);
    if (bytes > 0) {
        TextChanged();
        if (QAccessible::isActive()) {
            ReadInsertedText();
            // Inserted text is read once it is in place.
            m_pendingAccessibleEdits.push_back({inserted, m_textMap.OffsetAt(offset), offset, bytes,
                                                inserted ? QString() : m_textMap.Text(offset, offset + bytes)});
        }
        if (inserted)
            m_textMap.NoteInsert(offset, bytes);
        else
            m_textMap.NoteDelete(offset, bytes);
    }
    if (inserted)
        m_rows.NoteInsert(position, length);
    else
        m_rows.NoteDelete(position, length);
    // An edit made by a call from outside any event is announced as soon as
    // control returns to the event loop.
    if (m_nEditScopes == 0 && !m_bAnnounceQueued) {
        m_bAnnounceQueued = true;
        QTimer::singleShot(0, this, &CRichEditCtrl::AnnounceEdits);
    }
}

// The bytes changed: views of them are out of date.
void CRichEditCtrl::TextChanged()
{
    m_bChangePending = m_bChangePending || m_bNotify;
    m_bViewCurrent = false;
    m_textCopy = QByteArray();
}

// Where lines may have grown too long, kept in step with later edits.
void CRichEditCtrl::NoteEditedRange(qint64 position, qint64 inserted, qint64 deleted)
{
    auto moved = [&](qint64 at) {
        if (at >= position + deleted)
            return at + inserted - deleted;
        return std::min(at, position);
    };
    for (auto &[start, end] : m_editedRanges) {
        start = moved(start);
        end = moved(end);
    }
    m_editedRanges.emplace_back(position, position + inserted);
}

// The previous edit is complete when the next one begins or when the edits
// are announced.
void CRichEditCtrl::ReadInsertedText()
{
    if (m_pendingAccessibleEdits.empty())
        return;
    AccessibleEdit &last = m_pendingAccessibleEdits.back();
    if (last.inserted && last.text.isNull())
        last.text = m_textMap.Text(last.byteOffset, last.byteOffset + last.byteLength);
}

void CRichEditCtrl::AnnounceAccessibleEdits()
{
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
}

void CRichEditCtrl::AnnounceEdits()
{
    m_bAnnounceQueued = false;
    CutLongLines();
    AnnounceAccessibleEdits();
    if (std::exchange(m_bChangePending, false) && m_bNotify)
        emit changeNotified();
}

// The caret and the selection, told to a screen reader when they move.
void CRichEditCtrl::AnnounceCaret()
{
    if (!QAccessible::isActive())
        return;
    const qint64 caret = m_textMap.OffsetAt(GetCaret());
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

// An edit may have made a line longer than the field shows whole: it is
// cut into rows, and from then on the text keeps no undo history. Without
// rows it keeps one again.
void CRichEditCtrl::CutLongLines()
{
    if (m_editedRanges.empty())
        return;
    std::vector<std::pair<long, long>> lines;
    for (const auto &[start, end] : std::exchange(m_editedRanges, {})) {
        lines.emplace_back(SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(start)),
                           SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(end)));
    }
    std::sort(lines.begin(), lines.end());
    std::vector<qint64> cuts;
    long next = 0;
    for (const auto &[first, last] : lines) {
        for (long line = std::max(first, next); line <= last; ++line)
            CutLine(line, cuts);
        next = std::max(next, last + 1);
    }
    if (!cuts.empty())
        InsertBreaks(cuts);
    const long undo = m_rows.IsEmpty() ? 1L : 0L;
    if (SendScintilla(SCI_GETUNDOCOLLECTION) != undo)
        SendScintilla(SCI_SETUNDOCOLLECTION, undo);
}

// Cuts for one line of the document, if it is too long: a line of the text,
// or a row of a long one.
void CRichEditCtrl::CutLine(long line, std::vector<qint64> &cuts) const
{
    const qint64 start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const qint64 end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    const bool row = m_rows.IsBreakAt(start - 1) || m_rows.IsBreakAt(end);
    if (end - start <= (row ? CRowCutter::kRowBytes : CRowCutter::kLongLine))
        return;
    CRowCutter cutter(IsUtf8(), row);
    std::vector<qint64> found;
    QByteArray piece;
    for (qint64 from = start;;) {
        const qint64 to = std::min(end, from + kCutPiece);
        piece.resize(to - from + 1);
        SendScintilla(SCI_GETTEXTRANGE, long(from), long(to), piece.data());
        found.clear();
        const qint64 settled = cutter.Cut(piece.constData(), to - from, to == end, found);
        for (const qint64 cut : found)
            cuts.push_back(from + cut);
        if (to == end)
            return;
        from += settled;
    }
}

void CRichEditCtrl::InsertBreaks(const std::vector<qint64> &cuts)
{
    if (m_rows.IsEmpty()) {
        SendScintilla(SCI_SETUNDOCOLLECTION, 0L);
        SendScintilla(SCI_EMPTYUNDOBUFFER);
    }
    // The editor moves a selection over inserted text only in part: the
    // same bytes stay selected.
    const qint64 anchor = m_rows.OffsetAt(SendScintilla(SCI_GETANCHOR));
    const qint64 caret = m_rows.OffsetAt(SendScintilla(SCI_GETCURRENTPOS));
    SendScintilla(SCI_SETMODEVENTMASK, 0L);
    // From the last, so that every position still holds.
    for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut)
        SendScintilla(SCI_INSERTTEXT, static_cast<unsigned long>(*cut), "\n");
    SendScintilla(SCI_SETMODEVENTMASK, kEditNotices);
    m_rows.NoteBreaksAdded(cuts);
    SendScintilla(SCI_SETANCHOR, static_cast<unsigned long>(m_rows.PositionAt(anchor)));
    SendScintilla(SCI_SETCURRENTPOS, static_cast<unsigned long>(m_rows.PositionAt(caret)));
}

// A block selection, which a text field does not have (the mouse can still
// make one), becomes the plain one between its corners.
void CRichEditCtrl::KeepSelectionPlain()
{
    if (SendScintilla(SCI_SELECTIONISRECTANGLE) == 0 && SendScintilla(SCI_GETSELECTIONS) <= 1)
        return;
    const long anchor = SendScintilla(SCI_GETRECTANGULARSELECTIONANCHOR);
    const long caret = SendScintilla(SCI_GETRECTANGULARSELECTIONCARET);
    SendScintilla(SCI_SETSELECTIONMODE, long(SC_SEL_STREAM));
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(anchor), caret);
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

// Shows `document` with the settings that belong to a document (code page,
// line end mode, tab width, read-only) as the current one has them.
void CRichEditCtrl::ShowDocument(long document)
{
    const long codePage = SendScintilla(SCI_GETCODEPAGE);
    const long eolMode = SendScintilla(SCI_GETEOLMODE);
    const long tabWidth = SendScintilla(SCI_GETTABWIDTH);
    const long readOnly = SendScintilla(SCI_GETREADONLY);
    SendScintilla(SCI_SETMODEVENTMASK, 0L);
    SendScintilla(SCI_SETDOCPOINTER, 0UL, document);
    SendScintilla(SCI_SETCODEPAGE, codePage);
    SendScintilla(SCI_SETEOLMODE, eolMode);
    SendScintilla(SCI_SETTABWIDTH, tabWidth);
    SendScintilla(SCI_SETREADONLY, readOnly);
    SendScintilla(SCI_SETMODEVENTMASK, kEditNotices);
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

QString CRichEditCtrl::WhyNotShown(qint64 size)
{
    return WhyNotShown(size, CDocumentLoad::AvailableMemory());
}

QString CRichEditCtrl::WhyNotShown(qint64 size, qint64 available)
{
    if (size > kMostBytesShown)
        return QStringLiteral("it has %1 bytes, more than the %2 the field holds").arg(size).arg(kMostBytesShown);
    // The field holds the text once, and a text shown in rows once more for
    // the engine.
    const qint64 needed = 2 * size + CDocumentLoad::MemoryReserve(available);
    if (available >= 0 && needed > available) {
        return QStringLiteral("it needs about %1 MB of memory to be shown and searched, and %2 MB are free")
            .arg(needed >> 20)
            .arg(available >> 20);
    }
    return QString();
}

bool CRichEditCtrl::IsUtf8() const
{
    return isUtf8();
}

qint64 CRichEditCtrl::GetTextLength() const
{
    return SendScintilla(SCI_GETLENGTH) - m_rows.Count();
}

// The editor copies a range without moving its gap, which would change the
// bytes under a view.
void CRichEditCtrl::ReadBytes(qint64 start, qint64 end, QByteArray &bytes) const
{
    const qint64 length = GetTextLength();
    start = std::clamp<qint64>(start, 0, length);
    end = std::clamp<qint64>(end, start, length);
    const qint64 from = m_rows.PositionAt(start);
    const qint64 to = std::max(from, m_rows.PositionAt(end, true));
    bytes.resize(to - from + 1);
    SendScintilla(SCI_GETTEXTRANGE, long(from), long(to), bytes.data());
    const auto [first, last] = m_rows.BreaksIn(from, to);
    char *out = bytes.data();
    qint64 kept = 0;
    for (std::size_t i = first; i <= last; ++i) {
        const qint64 segmentEnd = (i < last ? m_rows.Positions()[i] : to) - from;
        const qint64 segmentStart = i == first ? 0 : m_rows.Positions()[i - 1] - from + 1;
        std::memmove(out + kept, out + segmentStart, std::size_t(segmentEnd - segmentStart));
        kept += segmentEnd - segmentStart;
    }
    bytes.resize(kept);
}

// Straight from the editor's buffer, in one pass: a copy of a large text
// is written to fresh memory, which costs as much again as the copying.
// The gap moves to the end, as for a view; a current view has it there.
QByteArray CRichEditCtrl::GetTextBytes() const
{
    const auto *data = static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    if (m_rows.IsEmpty())
        return QByteArray(data, GetTextLength());
    QByteArray bytes(GetTextLength(), Qt::Uninitialized);
    char *out = bytes.data();
    qint64 from = 0;
    for (const qint32 at : m_rows.Positions()) {
        out = std::copy(data + from, data + at, out);
        from = at + 1;
    }
    std::copy(data + from, data + SendScintilla(SCI_GETLENGTH), out);
    return bytes;
}

QByteArray CRichEditCtrl::TextView() const
{
    QByteArray view;
    if (!m_rows.IsEmpty() || !m_textCopy.isNull()) {
        if (m_textCopy.isNull())
            m_textCopy = GetTextBytes();
        view = QByteArray::fromRawData(m_textCopy.constData(), m_textCopy.size());
    } else {
        // Moves the editor's gap to the end, where it stays until an edit.
        const auto *data = static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
        view = QByteArray::fromRawData(data, GetTextLength());
    }
    m_lastView = view.constData();
    m_bViewCurrent = true;
    return view;
}

// A view owns no memory; an array that does may have been given the
// memory of a view since freed.
bool CRichEditCtrl::IsViewOfText(const QByteArray &bytes) const
{
    QByteArray shared = bytes;   // Qt gives the data pointer of a non-const array only
    return m_lastView && bytes.constData() == m_lastView && !shared.data_ptr().isMutable();
}

bool CRichEditCtrl::HasTextBytes(const QByteArray &bytes) const
{
    const qint64 length = GetTextLength();
    if (bytes.size() != length)
        return false;
    if (IsViewOfText(bytes))
        return m_bViewCurrent;
    QByteArray piece;
    for (qint64 from = 0; from < length; from += kCutPiece) {
        ReadBytes(from, from + kCutPiece, piece);
        if (std::memcmp(piece.constData(), bytes.constData() + from, std::size_t(piece.size())) != 0)
            return false;
    }
    return true;
}

bool CRichEditCtrl::SetTextBytes(const QByteArray &bytes, QString *why)
{
    qint64 done = 0;
    QString problem;
    const bool set = SetTextFrom(bytes.size(), [&bytes, &done](char *buffer, qint64 max) {
        std::memcpy(buffer, bytes.constData() + done, std::size_t(max));
        done += max;
        return max;
    }, problem);
    if (why)
        *why = problem;
    else if (!set)
        qWarning("The field cannot show these %lld bytes: %s", qlonglong(bytes.size()), qPrintable(problem));
    return set;
}

bool CRichEditCtrl::SetTextFrom(qint64 size, const std::function<qint64(char *, qint64)> &read, QString &problem)
{
    problem = WhyNotShown(size);
    if (!problem.isEmpty())
        return false;
    long document = 0;
    CDisplayRows::Breaks breaks;
    {
        CDocumentLoad load(*this, size, IsUtf8());
        if (load.Read(read, problem)) {
            document = load.TakeDocument();
            breaks = load.TakeBreaks();
        }
    }
    if (document == 0) {
        // Making the loader reset how the editor shows its document.
        const long current = SendScintilla(SCI_GETDOCPOINTER);
        SendScintilla(SCI_ADDREFDOCUMENT, 0UL, current);
        ShowDocument(current);
        SendScintilla(SCI_RELEASEDOCUMENT, 0UL, current);
        return false;
    }
    TakeDocument(document, std::move(breaks), size);
    return true;
}

// The caller gets one notification, and a screen reader one replacement.
void CRichEditCtrl::TakeDocument(long document, CDisplayRows::Breaks breaks, qint64 length)
{
    const bool announce = QAccessible::isActive();
    AnnounceAccessibleEdits();
    const qint64 oldCount = announce ? m_textMap.OffsetCount() : 0;
    ShowDocument(document);
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, document);   // the editor holds its own reference
    // The loaded document collects no undo history.
    SendScintilla(SCI_SETUNDOCOLLECTION, breaks.empty() ? 1L : 0L);
    SendScintilla(SCI_SETFIRSTVISIBLELINE, 0L);
    SendScintilla(SCI_SETXOFFSET, 0L);
    m_rows.Assign(std::move(breaks));
    m_editedRanges.clear();
    m_textMap.NoteReplaced();
    TextChanged();
    m_bChangePending = false;
    FitWrapToLength(length);
    if (announce) {
        // As Qt's own text fields do: the new text, and as many spaces as
        // the old one had characters.
        QAccessibleTextUpdateEvent event(this, 0, QString(oldCount, QLatin1Char(' ')), m_textMap.Text(0, length));
        QAccessible::updateAccessibility(&event);
    }
    if (m_bNotify)
        emit changeNotified();
}

void CRichEditCtrl::ReplaceSelectionBytes(const QByteArray &bytes)
{
    if (isReadOnly())
        return;
    KeepSelectionPlain();
    EditScope scope(*this);
    SendScintilla(SCI_TARGETFROMSELECTION);
    // SCI_REPLACESEL would stop at the first NUL.
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()), bytes.constData());
    const long end = SendScintilla(SCI_GETTARGETEND);
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(end), end);
}

bool CRichEditCtrl::ColourRunAt(qint64 offset, qint64 &start, qint64 &end) const
{
    const long position = long(m_rows.PositionAt(offset));
    start = m_rows.OffsetAt(SendScintilla(SCI_INDICATORSTART, static_cast<unsigned long>(kRedIndicator), position));
    end = m_rows.OffsetAt(SendScintilla(SCI_INDICATOREND, static_cast<unsigned long>(kRedIndicator), position));
    return IsColoredRed(offset);
}

void CRichEditCtrl::SetSel(qint64 start, qint64 end)
{
    const qint64 length = GetTextLength();
    if (end < 0 || end > length)
        end = length;
    start = std::clamp<qint64>(start, 0, length);
    if (start > end)
        std::swap(start, end);
    const bool empty = start == end;
    if (IsUtf8()) {
        start = m_textMap.CharStartAtOrBefore(start);
        end = empty ? start : m_textMap.CharEndAtOrAfter(end);
    }
    // A selection that ends where a row ends ends there, not at the start
    // of the next row.
    const qint64 from = m_rows.PositionAt(start);
    const qint64 to = empty ? from : m_rows.PositionAt(end, true);
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(from), static_cast<long>(to));
    // The start of a match matters more than its end when both do not fit.
    SendScintilla(SCI_SCROLLRANGE, static_cast<unsigned long>(to), static_cast<long>(from));
}

void CRichEditCtrl::GetSel(qint64 &start, qint64 &end) const
{
    start = m_rows.OffsetAt(SendScintilla(SCI_GETSELECTIONSTART));
    end = m_rows.OffsetAt(SendScintilla(SCI_GETSELECTIONEND));
}

qint64 CRichEditCtrl::GetCaret() const
{
    return m_rows.OffsetAt(SendScintilla(SCI_GETCURRENTPOS));
}

void CRichEditCtrl::RowAt(qint64 offset, qint64 &start, qint64 &end) const
{
    const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(m_rows.PositionAt(offset)));
    start = m_rows.OffsetAt(SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line)));
    end = m_rows.OffsetAt(SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line + 1)));
}

void CRichEditCtrl::SetSelectionColorRed()
{
    const long start = SendScintilla(SCI_GETSELECTIONSTART);
    const long end = SendScintilla(SCI_GETSELECTIONEND);
    SendScintilla(SCI_SETINDICATORCURRENT, kRedIndicator);
    SendScintilla(SCI_INDICATORFILLRANGE, static_cast<unsigned long>(start), end - start);
}

void CRichEditCtrl::SetAllColorAuto()
{
    SendScintilla(SCI_SETINDICATORCURRENT, kRedIndicator);
    SendScintilla(SCI_INDICATORCLEARRANGE, 0UL, SendScintilla(SCI_GETLENGTH));
}

bool CRichEditCtrl::IsColoredRed(qint64 offset) const
{
    return SendScintilla(SCI_INDICATORVALUEAT, static_cast<unsigned long>(kRedIndicator),
                         static_cast<long>(m_rows.PositionAt(offset))) != 0;
}

QMimeData *CRichEditCtrl::toMimeData(const QByteArray &text, bool rectangular) const
{
    // The editor hands over its selection up to the first NUL byte, with
    // the breaks of rows in it.
    QByteArray bytes = text;
    if (!rectangular && SendScintilla(SCI_GETSELECTIONS) == 1) {
        qint64 start = 0, end = 0;
        GetSel(start, end);
        ReadBytes(start, end, bytes);
    }
    QMimeData *mime = QsciScintilla::toMimeData(bytes, rectangular);
    mime->setData(kBytesFormat, bytes);
    return mime;
}

QByteArray CRichEditCtrl::fromMimeData(const QMimeData *source, bool &rectangular) const
{
    QByteArray text = QsciScintilla::fromMimeData(source, rectangular);
    return source->hasFormat(kBytesFormat) ? source->data(kBytesFormat) : text;
}

bool CRichEditCtrl::focusNextPrevChild(bool next)
{
    // Tab moves on to the next control, as in any dialog field; Ctrl+Tab
    // types a tab character (keyPressEvent).
    return QWidget::focusNextPrevChild(next);
}

// Backspace at the start of a row and Delete at its end take a byte of the
// text, as they would in a wrapped line, not the break between the rows.
void CRichEditCtrl::StepOverBreak(bool forward)
{
    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    if (SendScintilla(SCI_GETSELECTIONEMPTY) == 0 || !m_rows.IsBreakAt(forward ? caret : caret - 1))
        return;
    const long beyond = forward ? caret + 1 : caret - 1;
    SendScintilla(SCI_SETEMPTYSELECTION, static_cast<unsigned long>(beyond));
}

// The editor's own paste and drop turn every line end into LF and stop at
// the first NUL; these insert the bytes as they were copied.
void CRichEditCtrl::paste()
{
    PasteFrom(QClipboard::Clipboard);
}

void CRichEditCtrl::PasteFrom(QClipboard::Mode mode)
{
    const QMimeData *source = QGuiApplication::clipboard()->mimeData(mode);
    if (isReadOnly() || !source || !canInsertFromMimeData(source))
        return;
    bool rectangular = false;
    ReplaceSelectionBytes(fromMimeData(source, rectangular));
}

void CRichEditCtrl::mousePressEvent(QMouseEvent *event)
{
    // The primary selection, pasted where the middle button is pressed.
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        event->accept();
        if (isReadOnly())
            return;
        const QPoint at = event->position().toPoint();
        const long position = SendScintilla(SCI_POSITIONFROMPOINT, static_cast<unsigned long>(at.x()), long(at.y()));
        SendScintilla(SCI_SETEMPTYSELECTION, static_cast<unsigned long>(position));
        PasteFrom(QClipboard::Selection);
        return;
    }
    QsciScintilla::mousePressEvent(event);
}

void CRichEditCtrl::dropEvent(QDropEvent *event)
{
    QDragLeaveEvent leave;   // takes the editor's drop caret away
    QsciScintilla::dragLeaveEvent(&leave);
    if (isReadOnly() || !canInsertFromMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // What a block selection gives is not the plain selection it becomes:
    // moving it would take away other bytes.
    const bool fromBlock = SendScintilla(SCI_SELECTIONISRECTANGLE) != 0;
    KeepSelectionPlain();
    bool rectangular = false;
    const QByteArray bytes = fromMimeData(event->mimeData(), rectangular);
    const QPoint at = event->position().toPoint();
    const qint64 target =
        OffsetAt(SendScintilla(SCI_POSITIONFROMPOINT, static_cast<unsigned long>(at.x()), long(at.y())));
    qint64 start = 0, end = 0;
    GetSel(start, end);
    const bool moving = event->source() == this && event->dropAction() == Qt::MoveAction && !fromBlock;
    if (moving && target >= start && target <= end)
        return;   // onto itself
    auto replace = [this](qint64 from, qint64 to, const QByteArray &by) {
        SetSel(from, to);
        ReplaceSelectionBytes(by);
    };
    SendScintilla(SCI_BEGINUNDOACTION);
    // The later place first, so that the earlier keeps its offset.
    if (moving && target > end)
        replace(target, target, bytes);
    if (moving)
        replace(start, end, QByteArray());
    if (!moving || target < start)
        replace(target, target, bytes);
    SendScintilla(SCI_ENDUNDOACTION);
    const qint64 placed = moving && target > end ? target - (end - start) : target;
    SetSel(placed, placed + bytes.size());
}

void CRichEditCtrl::keyPressEvent(QKeyEvent *event)
{
    // Ctrl+Tab replaces the selection with a tab, as typing does; the
    // editor would indent the rows it spans.
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        ReplaceSelectionBytes("\t");
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        paste();
        event->accept();
        return;
    }
    // Escape goes on to the dialog, which cancels on it from any field; the
    // editor has no pop-up of its own to close with it.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    if ((event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
        && event->modifiers() == Qt::NoModifier)
        StepOverBreak(event->key() == Qt::Key_Delete);
    QsciScintilla::keyPressEvent(event);
}
