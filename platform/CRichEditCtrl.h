#pragma once
// The rich edit field: a QScintilla editor that holds its text as bytes, so
// CR, LF, NUL and bytes that are not valid UTF-8 survive unchanged. The text
// is shown in the user's locale encoding (UTF-8 when the locale's codeset is
// UTF-8, one byte per character otherwise).
//
// Every offset this class takes or gives counts bytes of the text. A line
// longer than CRowCutter::kLongLine is shown in rows, cut by line breaks
// that are in the editor's document but not in the text (CDisplayRows maps
// one to the other). A text shown in rows keeps no undo history: the
// editor's undo could not tell a break of its own from a line end of the
// text. Where no line is that long, byte offsets are editor positions.
//
// Red colouring uses an indicator, which colours text without styles and is
// not an edit: it raises no change notification and adds no undo step.
//
// Screen readers get the text through CRichEditAccessible rather than the
// editor component's own accessibility, whose every caret move, paint and
// edit counted the characters from the start of the text.

#include "DisplayRows.h"
#include "EditorTextMap.h"
#include "RowCutter.h"

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QClipboard>
#include <QString>

#include <climits>
#include <functional>
#include <vector>

class CRichEditCtrl : public QsciScintilla
{
    Q_OBJECT
public:
    // Texts longer than this are shown without word wrap. The editor wraps
    // a text by laying out all of it, about 0.5 s per MB here: after a text
    // is set, it works through it in the background in slices of 10 ms or
    // more, each a delay to whatever the user does meanwhile, and it wraps
    // all of it before it can show the end.
    static constexpr qint64 kMaxWrappedLength = 64 << 10;

    // The longest text the field takes: its positions are ints, and room is
    // kept for the breaks of long lines, which are known only once a text
    // has been read.
    static constexpr qint64 kMostBytesShown = CRowCutter::MostBytesIn(INT_MAX);

    // Why a text of `size` bytes cannot be shown (a sentence without a final
    // period), or an empty string when it can; asked before it is read.
    static QString WhyNotShown(qint64 size);
    // The same with `available` bytes of memory free (-1: not known).
    static QString WhyNotShown(qint64 size, qint64 available);

    explicit CRichEditCtrl(QWidget *parent = nullptr);

    // The whole text as bytes (one copy).
    QByteArray GetTextBytes() const;
    qint64 GetTextLength() const;
    // Whether the text is exactly these bytes.
    bool HasTextBytes(const QByteArray &bytes) const;
    // The whole text without a copy: a view of the editor's own buffer or,
    // for a text shown in rows, of one copy kept until the text changes.
    // Valid until the text next changes (the change notification); never
    // read it after that.
    QByteArray TextView() const;
    // Whether `bytes` is a view TextView() gave, current or not: such bytes
    // may be out of date and are not to be read.
    bool IsViewOfText(const QByteArray &bytes) const;
    // The bytes from `start` to `end`, into `bytes`.
    void ReadBytes(qint64 start, qint64 end, QByteArray &bytes) const;

    // Replaces the whole text with these bytes; not recorded for undo. This
    // is an edit: it raises the change notification when enabled. False,
    // with the text as it was, when the field cannot take them, and why in
    // `why` if given (else as a warning).
    bool SetTextBytes(const QByteArray &bytes, QString *why = nullptr);
    // The same for `size` bytes that `read` delivers in pieces (see
    // CDocumentLoad::Reader). False, with the text as it was, when the read
    // failed or, `problem` saying why, the field could not take them.
    bool SetTextFrom(qint64 size, const std::function<qint64(char *buffer, qint64 max)> &read, QString &problem);

    // Selection by byte offset; end == -1 means the end of the text. In a
    // UTF-8 document a boundary inside a multi-byte character widens the
    // selection to the whole character.
    void SetSel(qint64 start, qint64 end);
    void GetSel(qint64 &start, qint64 &end) const;
    qint64 GetCaret() const;

    // Change notification on or off (the event mask).
    void SetEventMask(bool notifyChanges) { m_bNotify = notifyChanges; }
    bool GetEventMask() const { return m_bNotify; }

    // Colours the current selection pure red.
    void SetSelectionColorRed();
    // Returns every character to the automatic colour.
    void SetAllColorAuto();
    // Whether the byte at `offset` is coloured red.
    bool IsColoredRed(qint64 offset) const;
    // Whether `offset` is red, and the run of equal colour around it.
    bool ColourRunAt(qint64 offset, qint64 &start, qint64 &end) const;

    bool IsUtf8() const;
    bool IsShownInRows() const { return !m_rows.IsEmpty(); }

    // Replaces the selection with these bytes, as typing would.
    void ReplaceSelectionBytes(const QByteArray &bytes);
    // Pastes the clipboard's bytes over the selection.
    void paste() override;

    // Between bytes and the editor's positions. A position of a break of a
    // row is that of the byte after it; a byte at the start of a row is
    // placed after the break.
    qint64 OffsetAt(qint64 position) const { return m_rows.OffsetAt(position); }
    qint64 PositionAt(qint64 offset, bool atRowEnd = false) const { return m_rows.PositionAt(offset, atRowEnd); }
    // The row as shown that holds the byte at `offset`: its line, or a row
    // of a long line; its end is after the line end.
    void RowAt(qint64 offset, qint64 &start, qint64 &end) const;
    const CEditorTextMap &TextMap() const { return m_textMap; }

signals:
    // Emitted after every event or call of this class that edited the text
    // while the event mask is on; an edit made through a call of the editor
    // component itself is reported when control returns to the event loop.
    void changeNotified();

protected:
    // Tab and Shift+Tab leave the field; Ctrl+Tab types a tab; Escape goes on
    // to the dialog.
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // Copying and dragging give the bytes of the selection.
    QMimeData *toMimeData(const QByteArray &text, bool rectangular) const override;
    QByteArray fromMimeData(const QMimeData *source, bool &rectangular) const override;

private:
    class EditScope;
    struct AccessibleEdit
    {
        bool inserted;
        qint64 offset;       // for the reader
        qint64 byteOffset;
        qint64 byteLength;
        QString text;
    };

    void OnBeforeEdit(qint64 position, int modificationType, qint64 length);
    void NoteEditedRange(qint64 position, qint64 inserted, qint64 deleted);
    void ReadInsertedText();
    void AnnounceAccessibleEdits();
    void AnnounceEdits();
    void AnnounceCaret();
    void CutLongLines();
    void CutLine(long line, std::vector<qint64> &cuts) const;
    void InsertBreaks(const std::vector<qint64> &cuts);
    void TakeDocument(long document, CDisplayRows::Breaks breaks, qint64 length);
    void ShowDocument(long document);
    void TextChanged();
    void UseDocumentWithoutStyles();
    void FitWrapToLength(qint64 length);
    void StepOverBreak(bool forward);
    void PasteFrom(QClipboard::Mode mode);
    void KeepSelectionPlain();

    bool m_bNotify = false;
    CDisplayRows m_rows;
    CEditorTextMap m_textMap{*this};
    // TextView() of a text shown in rows, and where the last view pointed.
    mutable QByteArray m_textCopy;
    mutable const char *m_lastView = nullptr;
    mutable bool m_bViewCurrent = false;
    // Document ranges edited since the edits were last announced, where a
    // line may have grown too long.
    std::vector<std::pair<qint64, qint64>> m_editedRanges;
    // Edits are seen just before they happen and announced once the event
    // or call that made them is over, when the text is the new one.
    int m_nEditScopes = 0;
    bool m_bChangePending = false;
    bool m_bAnnounceQueued = false;
    std::vector<AccessibleEdit> m_pendingAccessibleEdits;
    qint64 m_nAnnouncedCaret = -1;
    qint64 m_nAnnouncedSelStart = -1;
    qint64 m_nAnnouncedSelEnd = -1;
};
