#pragma once
// The rich edit field: a QScintilla editor that holds its text as bytes, so
// engine offsets are editor positions and CR, LF, NUL and bytes that are not
// valid UTF-8 survive unchanged. The text is shown in the user's locale
// encoding (UTF-8 when the locale's codeset is UTF-8, one byte per
// character otherwise).
//
// Red colouring uses an indicator, which colours text without styles and is
// not an edit: it raises no change notification and adds no undo step.

#include <Qsci/qsciscintilla.h>

#include <QByteArray>

class CRichEditCtrl : public QsciScintilla
{
    Q_OBJECT
public:
    // Texts longer than this are shown without word wrap.
    static constexpr qint64 kMaxWrappedLength = 16 << 20;

    explicit CRichEditCtrl(QWidget *parent = nullptr);

    // The whole text as bytes (one copy).
    QByteArray GetTextBytes() const;
    qint64 GetTextLength() const;
    // Whether the text is exactly these bytes (no copy is made).
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

signals:
    // Emitted for every edit of the text while the event mask is on.
    void changeNotified();

protected:
    // Tab and Shift+Tab leave the field; Ctrl+Tab types a tab; Escape goes on
    // to the dialog.
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void UseDocumentWithoutStyles();
    void FitWrapToLength(qint64 length);
    qint64 SnapBackToCharStart(qint64 pos) const;
    qint64 SnapForwardToCharEnd(qint64 pos) const;

    bool m_bNotify = false;
};
