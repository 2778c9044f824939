// The tester window as a desktop program: keyboard shortcuts for the match
// commands, tooltips that say what each modifier asks of the engine, editor
// colours that stay legible under dark schemes, and files dropped on the
// pattern or the input field.

#include "CTesterDlg.h"

#include "CRichEditCtrl.h"
#include "resource.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDropEvent>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>

#include <functional>
#include <utility>

namespace {

constexpr const char kHighlightTip[] = "Highlight matches: colour each match red in the input text";

// The editors keep black text on white paper whatever the colour scheme:
// the red of a highlighted match is legible on white (4:1) but not on the
// greys of dark schemes, and the editor would otherwise take its paper from
// the scheme but keep black text.
void KeepLightPaper(CRichEditCtrl *editor)
{
    editor->setPaper(Qt::white);
    editor->setColor(Qt::black);
    editor->setCaretForegroundColor(Qt::black);
}

// The first local file among the URLs of a drag, or an empty string.
QString FirstLocalFile(const QMimeData *mime)
{
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return QString();
}

// Turns a file dropped on an editor into a load of that file. Every drag
// that carries URLs is decided here and never reaches the editor, which
// would otherwise insert the dropped names as text; plain text drags are
// left to the editor.
class FileDropFilter : public QObject
{
public:
    FileDropFilter(CRichEditCtrl *field, std::function<void(const QString &)> load)
        : QObject(field), m_pField(field), m_load(std::move(load))
    {
        // Drags arrive at the viewport; the editor itself is watched too so
        // events sent to it directly are judged the same way.
        field->installEventFilter(this);
        field->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            return JudgeDrag(static_cast<QDragMoveEvent *>(event));
        case QEvent::Drop:
            return Drop(static_cast<QDropEvent *>(event));
        default:
            return false;
        }
    }

private:
    QString AcceptableFile(const QDropEvent *event) const
    {
        return m_pField->isEnabled() ? FirstLocalFile(event->mimeData()) : QString();
    }

    bool JudgeDrag(QDragMoveEvent *event)
    {
        if (!event->mimeData()->hasUrls())
            return false;
        if (AcceptableFile(event).isEmpty())
            event->ignore();
        else
            event->acceptProposedAction();
        return true;
    }

    bool Drop(QDropEvent *event)
    {
        if (!event->mimeData()->hasUrls())
            return false;
        const QString path = AcceptableFile(event);
        if (path.isEmpty()) {
            event->ignore();
            return true;
        }
        event->acceptProposedAction();
        // The load may report an error in a modal message box: let the drag
        // source finish its drop first.
        QMetaObject::invokeMethod(this, [this, path] { m_load(path); }, Qt::QueuedConnection);
        return true;
    }

    CRichEditCtrl *m_pField;
    std::function<void(const QString &)> m_load;
};

} // namespace

void CTesterDlg::SetUpDesktopIntegration()
{
    for (const Modifier &modifier : kModifiers)
        GetDlgItem(modifier.controlId)->setToolTip(QString::fromUtf8(modifier.tip));
    m_btnHighlight->setToolTip(QString::fromUtf8(kHighlightTip));

    // A click on a disabled button does nothing, so the keys follow the
    // buttons' state by themselves.
    auto clickOnKey = [this](Qt::Key key, int buttonId) {
        auto *button = qobject_cast<QAbstractButton *>(GetDlgItem(buttonId));
        auto *shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, button, &QAbstractButton::click);
    };
    clickOnKey(Qt::Key_F5, IDC_EXEC);
    clickOnKey(Qt::Key_F3, IDC_EXEC_NEXT);

    KeepLightPaper(m_reditInput);
    KeepLightPaper(m_reditPattern);

    new FileDropFilter(m_reditInput, [this](const QString &path) { LoadInputFromFile(path); });
    new FileDropFilter(m_reditPattern, [this](const QString &path) { LoadPatternFromFile(path); });
}
