// The three windows under a larger system font and at any screen scale
// (CTest runs this program a second time with QT_SCALE_FACTOR=2): nothing
// clipped or overlapping. And the red of a highlighted match on a dark
// colour scheme.

#include "TesterDriver.h"

#include "CFullInfoDlg.h"
#include "DialogTemplate.h"

#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QTest>

#include <cmath>
#include <optional>

namespace {

// Builds one of the three windows, as the program would, under the
// application font of the moment.
struct Windows
{
    Windows()
    {
        tester.typePattern("(?<year>\\d{4})");
        tester.typeInput("2026");
        tester.click(IDC_EXEC);
        tester.click(IDC_MORE);
        tester.dlg->SubpatternList()->hide();
        details = std::make_unique<CFullInfoDlg>(tester.dlg.get());
        details->FillFromPattern(tester.dlg->CompiledPattern(), tester.dlg->StudyData(), "(?<year>\\d{4})");
        details->Create();
    }
    const CDialogBase &byTemplate(int templateId) const
    {
        if (templateId == IDD_TESTER_DIALOG)
            return *tester.dlg;
        if (templateId == IDD_SUBPATTERNS_DIALOG)
            return *tester.dlg->SubpatternList();
        return *details;
    }

    TesterDriver tester;
    std::unique_ptr<CFullInfoDlg> details;
};

// The space a control's text needs to show whole, with the parts the style
// draws around it: a button's frame, a check box's indicator and spacing.
// (Size hints add padding beyond that, such as room for a focus frame.)
std::optional<QSize> neededForText(const ControlTemplate &control, const QWidget *widget)
{
    const QFontMetrics metrics(widget->font());
    const QString text = QString::fromUtf8(control.text);
    const QStyle *style = widget->style();
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, widget);
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
        return QSize(metrics.horizontalAdvance(text) + 2 * frame, metrics.height() + 2 * frame);
    case ControlKind::CheckBox:
        return QSize(widget->sizeHint().width(),
                     std::max(metrics.height(), style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, widget)));
    case ControlKind::Static:
        if (qobject_cast<const QLabel *>(widget)->wordWrap())
            return std::nullopt;
        return QSize(metrics.horizontalAdvance(text), metrics.height());
    default:
        return std::nullopt;
    }
}

QString describe(const ControlTemplate &control, const QWidget *widget)
{
    return QStringLiteral("%1 \"%2\" %3,%4 %5x%6")
        .arg(control.id).arg(QString::fromUtf8(control.text))
        .arg(widget->x()).arg(widget->y()).arg(widget->width()).arg(widget->height());
}

// WCAG relative luminance and contrast ratio.
double luminance(const QColor &colour)
{
    auto channel = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Without a lexer all text is drawn in style 0.
constexpr unsigned long kTextStyle = 0;

QColor scintillaColour(CRichEditCtrl *editor, unsigned int message, unsigned long style)
{
    const long bgr = editor->SendScintilla(message, style);
    return QColor(int(bgr & 0xff), int((bgr >> 8) & 0xff), int((bgr >> 16) & 0xff));
}

QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Highlight, QColor(0x1e, 0x5a, 0x9a));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    return dark;
}

} // namespace

class tst_LayoutScaling : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void nothingClippedOrOverlapping_data();
    void nothingClippedOrOverlapping();
    void screenScaleApplies();
    void highlightLegibleOnDarkPalette_data();
    void highlightLegibleOnDarkPalette();

private:
    QFont m_defaultFont;
};

void tst_LayoutScaling::initTestCase()
{
    m_defaultFont = QApplication::font();
}

void tst_LayoutScaling::cleanup()
{
    QApplication::setFont(m_defaultFont);
    QApplication::setPalette(QPalette());
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName() + " left open"));
}

void tst_LayoutScaling::nothingClippedOrOverlapping_data()
{
    QTest::addColumn<int>("templateId");
    QTest::addColumn<double>("fontScale");
    for (double scale : {1.0, 2.0}) {
        QTest::addRow("tester, font x%g", scale) << IDD_TESTER_DIALOG << scale;
        QTest::addRow("details, font x%g", scale) << IDD_FULLINFO_DIALOG << scale;
        QTest::addRow("subpatterns, font x%g", scale) << IDD_SUBPATTERNS_DIALOG << scale;
    }
}

void tst_LayoutScaling::nothingClippedOrOverlapping()
{
    QFETCH(int, templateId);
    QFETCH(double, fontScale);
    QFont font = m_defaultFont;
    font.setPointSizeF(font.pointSizeF() * fontScale);
    QApplication::setFont(font);
    const Windows windows;
    const CDialogBase &dialog = windows.byTemplate(templateId);
    QCOMPARE(dialog.font().pointSizeF(), font.pointSizeF());

    const auto &controls = dialog.Template().controls;
    for (int i = 0; i < int(controls.size()); ++i) {
        const QWidget *widget = dialog.ControlAt(i);
        const QString what = describe(controls[i], widget);
        QVERIFY2(dialog.rect().contains(widget->geometry()), qPrintable(what));
        if (const auto needed = neededForText(controls[i], widget)) {
            QVERIFY2(needed->width() <= widget->width() && needed->height() <= widget->height(),
                     qPrintable(what + QStringLiteral(" needs %1x%2").arg(needed->width()).arg(needed->height())));
        }
        // Only a group box's frame may lie around other controls.
        for (int j = i + 1; j < int(controls.size()); ++j) {
            const QWidget *other = dialog.ControlAt(j);
            const bool framed = (qobject_cast<const QGroupBox *>(widget)
                                 && widget->geometry().contains(other->geometry()))
                                || (qobject_cast<const QGroupBox *>(other)
                                    && other->geometry().contains(widget->geometry()));
            QVERIFY2(framed || !widget->geometry().intersects(other->geometry()),
                     qPrintable(what + QLatin1String(" overlaps ") + describe(controls[j], other)));
        }
    }
}

void tst_LayoutScaling::screenScaleApplies()
{
    const double scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                             ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble() : 1.0;
    TesterDriver t;
    t.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(t.dlg.get()));
    // Laid out in device-independent pixels, painted at the screen's scale.
    QCOMPARE(t.dlg->devicePixelRatioF(), scale);
    const QPixmap picture = t.dlg->grab();
    QCOMPARE(picture.size(), (t.dlg->size() * scale));
    t.dlg->hide();
}

void tst_LayoutScaling::highlightLegibleOnDarkPalette_data()
{
    QTest::addColumn<bool>("switchedWhileRunning");
    QTest::newRow("dark from the start") << false;
    QTest::newRow("switched to dark") << true;
}

// Pure red needs a light paper: on the greys of dark schemes it falls below
// 3:1. Black text needs one too.
void tst_LayoutScaling::highlightLegibleOnDarkPalette()
{
    QFETCH(bool, switchedWhileRunning);
    if (!switchedWhileRunning)
        QApplication::setPalette(darkPalette());
    TesterDriver t;
    if (switchedWhileRunning)
        QApplication::setPalette(darkPalette());
    t.typePattern("b+");
    t.typeInput("abbbc");
    t.setCheck(IDC_HIGHLIGHT, true);
    t.click(IDC_EXEC);
    QVERIFY(t.input()->IsColoredRed(1));

    for (CRichEditCtrl *editor : {t.input(), t.pattern()}) {
        const QColor paper = scintillaColour(editor, QsciScintillaBase::SCI_STYLEGETBACK, kTextStyle);
        const QColor ink = scintillaColour(editor, QsciScintillaBase::SCI_STYLEGETFORE, kTextStyle);
        const QColor red = scintillaColour(editor, QsciScintillaBase::SCI_INDICGETFORE, QsciScintillaBase::INDIC_CONTAINER);
        QCOMPARE(red, QColor(Qt::red));
        QVERIFY2(contrast(red, paper) >= 3.0, qPrintable(paper.name()));
        QVERIFY2(contrast(ink, paper) >= 4.5, qPrintable(ink.name() + QLatin1String(" on ") + paper.name()));
    }
}

QTEST_MAIN(tst_LayoutScaling)
#include "tst_layoutscaling.moc"
