// The three windows under a larger system font and at any screen scale
// (CTest runs this program a second time with QT_SCALE_FACTOR=2): nothing
// clipped or overlapping. And the red of a highlighted match on a dark
// colour scheme.

#include "TesterDriver.h"

#include <QStyle>

#include <cmath>

namespace {

// The space a control's text needs to show whole, with the parts the style
// draws around it: a button's frame, a check box's indicator. Empty for
// text that may wrap and for controls without a caption.
QSize neededForText(ControlKind kind, const QString &text, const QWidget *widget)
{
    const QFontMetrics metrics(widget->font());
    const int frame = 2 * widget->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, widget);
    if (kind == ControlKind::PushButton || kind == ControlKind::DefPushButton)
        return QSize(metrics.horizontalAdvance(text) + frame, metrics.height() + frame);
    if (kind == ControlKind::CheckBox)
        return QSize(widget->sizeHint().width(), std::max(metrics.height(), widget->style()->pixelMetric(
                                                              QStyle::PM_IndicatorHeight, nullptr, widget)));
    const bool oneLine = kind == ControlKind::Static && !widget->property("wordWrap").toBool();
    return oneLine ? QSize(metrics.horizontalAdvance(text), metrics.height()) : QSize();
}

// WCAG relative luminance, plus the 0.05 the contrast ratio adds, and the
// contrast ratio.
double lum(const QColor &c)
{
    auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF()) + 0.05;
}
double contrast(const QColor &a, const QColor &b) { return std::max(lum(a), lum(b)) / std::min(lum(a), lum(b)); }

} // namespace

class tst_LayoutScaling : public QObject
{
    Q_OBJECT
    const QFont m_defaultFont = QApplication::font();

private slots:
    void cleanup() { QApplication::setFont(m_defaultFont); QApplication::setPalette({}); verifyNoWindowLeftOpen(); }

    void nothingClippedOrOverlapping_data()
    {
        QTest::addColumn<int>("templateId");
        QTest::addColumn<double>("fontScale");
        for (double scale : {1.0, 2.0})
            for (int id : {IDD_TESTER_DIALOG, IDD_FULLINFO_DIALOG, IDD_SUBPATTERNS_DIALOG})
                QTest::addRow("template %d, font x%g", id, scale) << id << scale;
    }
    void nothingClippedOrOverlapping()
    {
        QFETCH(int, templateId);
        QFETCH(double, fontScale);
        QFont font = m_defaultFont;
        font.setPointSizeF(font.pointSizeF() * fontScale);
        QApplication::setFont(font);
        ThreeWindows windows;
        const CDialogBase &dialog = windows.byTemplate(templateId);
        QCOMPARE(dialog.font().pointSizeF(), font.pointSizeF());
        // Laid out in device-independent pixels whatever the screen scale.
        QCOMPARE(dialog.devicePixelRatioF(), qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble());

        // Every fault found, named by the controls' objects (ctl<id>).
        QStringList faults;
        const auto &controls = dialog.Template().controls;
        for (int i = 0; i < int(controls.size()); ++i) {
            const QWidget *widget = dialog.ControlAt(i);
            const QSize needed = neededForText(controls[i].kind, QString::fromUtf8(controls[i].text), widget);
            if (!dialog.rect().contains(widget->geometry()) || widget->size().expandedTo(needed) != widget->size())
                faults << widget->objectName() + " clipped";
            // Only a group box's frame may lie around other controls.
            for (int j = i + 1; j < int(controls.size()); ++j) {
                const QWidget *other = dialog.ControlAt(j);
                const QRect a = widget->geometry(), b = other->geometry();
                if (a.intersects(b) && !(widget->inherits("QGroupBox") && a.contains(b))
                    && !(other->inherits("QGroupBox") && b.contains(a)))
                    faults << widget->objectName() + " overlaps " + other->objectName();
            }
        }
        QCOMPARE(faults, QStringList());
    }

    // Pure red needs a light paper: on the greys of dark schemes it falls
    // below 3:1. Text needs one too. The scheme is dark from the start, and
    // switched back to dark while the window runs.
    void highlightLegibleOnDarkPalette()
    {
        QPalette dark(QColor(0x3a, 0x3a, 0x3a));   // light text on a dark grey
        dark.setColor(QPalette::Base, dark.color(QPalette::Button));
        QApplication::setPalette(dark);
        TesterDriver t;
        QApplication::setPalette(QPalette());
        QApplication::setPalette(dark);
        for (CRichEditCtrl *editor : {t.input(), t.pattern()}) {
            auto colour = [editor](unsigned int message, unsigned long style) {   // style 0: text without a lexer
                const long bgr = editor->SendScintilla(message, style);
                return QColor(int(bgr & 0xff), int((bgr >> 8) & 0xff), int((bgr >> 16) & 0xff));
            };
            const QColor paper = colour(QsciScintillaBase::SCI_STYLEGETBACK, 0);
            const QColor red = colour(QsciScintillaBase::SCI_INDICGETFORE, QsciScintillaBase::INDIC_CONTAINER);
            const QColor ink = colour(QsciScintillaBase::SCI_STYLEGETFORE, 0);
            QVERIFY2(contrast(red, paper) >= 3.0, qPrintable(red.name() + " on " + paper.name()));
            QVERIFY2(contrast(ink, paper) >= 4.5, qPrintable(ink.name() + " on " + paper.name()));
        }
    }
};

QTEST_MAIN(tst_LayoutScaling)
#include "tst_layoutscaling.moc"
