// Makes the README picture: the tester window after a match, with the match
// highlighted and the subpattern list open beside it, grabbed into one PNG.
// Run offscreen (QT_QPA_PLATFORM=offscreen) by scripts/screenshot.sh.
//
//   make_screenshot <output.png>
//
// Fails when the windows do not show what the picture is meant to show.

#include "CListBox.h"
#include "CRichEditCtrl.h"
#include "CSubpatternListDlg.h"
#include "CTesterDlg.h"
#include "resource.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

namespace {

constexpr char kPattern[] = R"((?<year>\d{4})-(?<mon>\d\d))";
constexpr char kInput[] = "on 2026-12 and 2027-01";
constexpr int kYearLine = 2;   // "0 {3,10}", "mon (2) {8,10}", "year (1) {3,7}"
constexpr QRgb kFrameColour = qRgb(0x80, 0x80, 0x80);

void click(CTesterDlg &tester, int id)
{
    qobject_cast<QAbstractButton *>(tester.GetDlgItem(id))->click();
}

void check(CTesterDlg &tester, int id)
{
    auto *box = qobject_cast<QAbstractButton *>(tester.GetDlgItem(id));
    if (!box->isChecked())
        box->click();
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// Runs the match the picture shows; false when it did not come out.
bool DriveTester(CTesterDlg &tester)
{
    check(tester, IDC_GREEDY);
    check(tester, IDC_HIGHLIGHT);
    auto *pattern = qobject_cast<CRichEditCtrl *>(tester.GetDlgItem(IDC_PATTERN));
    auto *input = qobject_cast<CRichEditCtrl *>(tester.GetDlgItem(IDC_INPUT));
    pattern->SetTextBytes(kPattern);
    input->SetTextBytes(kInput);
    click(tester, IDC_EXEC);
    click(tester, IDC_MORE);
    const CSubpatternListDlg *list = tester.SubpatternList();
    if (tester.Series().OffsetsSize() == 0 || !input->IsColoredRed(tester.Series().Offsets()[0]) || !list
        || !list->isVisible() || list->List()->GetCount() != 3)
        return false;
    // Picking the year selects just that part of the match, so the rest of
    // it shows in red beside the selection.
    list->List()->SetCurSel(kYearLine);
    settle();
    qint64 start = 0;
    qint64 end = 0;
    input->GetSel(start, end);
    return start == 3 && end == 7;
}

// Each window's grab at its place relative to the others, framed by a thin
// line since offscreen windows have no decorations.
QImage Compose(const QList<QWidget *> &windows)
{
    QRect bounds;
    for (const QWidget *window : windows)
        bounds |= window->frameGeometry();
    QImage picture(bounds.size(), QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    for (QWidget *window : windows) {
        const QPoint at = window->geometry().topLeft() - bounds.topLeft();
        painter.drawPixmap(at, window->grab());
        painter.setPen(QColor(kFrameColour));
        painter.drawRect(QRect(at, window->size()).adjusted(0, 0, -1, -1));
    }
    return picture;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    CTesterDlg tester;
    tester.Create();
    tester.show();
    settle();
    if (!DriveTester(tester)) {
        std::fprintf(stderr, "the match did not come out as the picture needs (is libpcre.so.3 installed?)\n");
        return 1;
    }
    const QImage picture = Compose({&tester, tester.SubpatternList()});
    if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
