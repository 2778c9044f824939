#pragma once
// The rich edit field: a QScintilla editor that holds its text as bytes, so
// engine offsets are editor positions and CR, LF, NUL and bytes that are not
// valid UTF-8 survive unchanged. The text is shown in the user's locale
// encoding (UTF-8 when the locale's codeset is UTF-8, one byte per
// character otherwise).
//
// Red colouring uses an indicator, which colours text without styles and is
// not an edit: it raises no change notification and adds no undo step.
//
// Screen readers get the text through CRichEditAccessible rather than the
// editor component's own accessibility, whose every caret move, paint and
// edit counted the characters from the start of the text.

#include "EditorTextMap.h"

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QString>

#include <vector>

class CRichEditCtrl : public QsciScintilla
{
    Q_OBJECT
public:
    // Texts longer than this are shown without word wrap: to show the end
    // of a wrapped text the editor lays out all of it, about 0.5 s per MB.
    static constexpr qint64 kMaxWrappedLength = 1 << 20;
    // The longest line the field shows. The editor lays out a whole line to
    // paint any of it, at about 0.4 s and 6 bytes of memory per byte of
    // line, and past about 2 million characters its positions lose
    // precision, so that the end of the line is drawn wrong.
    static constexpr qint64 kMaxLineLength = 1 << 20;

    // Why these bytes cannot be shown (a sentence without a final period),
    // or an empty string when they can.
    static QString WhyNotShown(const QByteArray &bytes);

    explicit CRichEditCtrl(QWidget *parent = nullptr);

    // The whole text as bytes (one copy).
    QByteArray GetTextBytes() const;
    qint64 GetTextLength() const;
    // Whether the text is exactly these bytes (no copy is made; no compare
    // either when they are the very bytes last set and nothing was edited
    // since).
    bool HasTextBytes(const QByteArray &bytes) const;
    // Replaces the whole text with these bytes; not recorded for undo. This
    // is an edit: it raises the change notification when enabled.
    void SetTextBytes(const QByteArray &bytes);

    // Selection by byte position; end == -1 means the end of the text. In a
    // UTF-8 document a boundary inside a multi-byte character widens the
    // selection to the whole character.
    void SetSel(qint64 start, qint64 end);
    void GetSel(qint64 &start, qint64 &end) const;

    // Change notification on or off (the event mask).
    void SetEventMask(bool notifyChanges) { m_bNotify = notifyChanges; }
    bool GetEventMask() const { return m_bNotify; }

    // Colours the current selection pure red.
    void SetSelectionColorRed();
    // Returns every character to the automatic colour.
    void SetAllColorAuto();
    // Whether the byte at `pos` is coloured red.
    bool IsColoredRed(qint64 pos) const;

    bool IsUtf8() const;

    // Replaces the selection with these bytes, as typing would.
    void ReplaceSelectionBytes(const QByteArray &bytes);
    // Whether `pos` is red, and the run of equal colour around it.
    bool ColourRunAt(qint64 pos, qint64 &start, qint64 &end) const;
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

private:
    class EditScope;
    struct AccessibleEdit
    {
        bool inserted;
        qint64 offset;
        qint64 position;
        qint64 length;
        QString text;
    };

    void OnBeforeEdit(int position, int modificationType, int length);
    void ReadInsertedText();
    void AnnounceEdits();
    void AnnounceCaret();
    void UseDocumentWithoutStyles();
    void FitWrapToLength(qint64 length);

    bool m_bNotify = false;
    // Shares the bytes last set, until the first edit.
    QByteArray m_unchangedCopy;
    CEditorTextMap m_textMap{*this};
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
