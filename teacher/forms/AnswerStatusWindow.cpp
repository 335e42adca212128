#include "AnswerStatusWindow.h"

#include "TeacherUi.h"

#include "teacher/roster/ClassList.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace teacher::forms {
namespace {

// A seat that has answered is a solid green cell with white text, one still
// missing a white cell with dark text and a grey border: the difference holds
// on a projector, in grey print and for colour-blind eyes, and the words under
// the number say it again.
const QColor kAnsweredFill(0, 128, 0);
const QColor kAnsweredText(255, 255, 255);
const QColor kMissingFill(255, 255, 255);
const QColor kMissingText(64, 64, 64);

QString stateText(bool answered)
{
    return answered ? u"回答済み"_s : u"未回答"_s;
}

} // namespace

AnswerStatusWindow::AnswerStatusWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(u"frmAnswerStatus"_s);
    setWindowTitle(u"回答状況"_s);
    setWindowIcon(teacherIcon());

    auto *grid = new QGridLayout(this);
    grid->setSpacing(4);
    grid->setContentsMargins(6, 6, 6, 6);
    for (int seat = 1; seat <= kSeats; ++seat) {
        auto *label = new QLabel(this);
        label->setObjectName(u"SeatCell_%1"_s.arg(seat));
        label->setAlignment(Qt::AlignCenter);
        label->setFont(gothicFont(12));
        label->setTextFormat(Qt::RichText);
        label->setMinimumSize(48, 40);
        // Equal cells whatever they hold: a long name is cut to its cell.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        label->setFocusPolicy(Qt::TabFocus); // reachable for screen readers
        m_cells[seat - 1] = label;
        grid->addWidget(label, (seat - 1) / kColumns, (seat - 1) % kColumns);
        paintCell(seat, false);
    }
    resize(860, 480);
}

QString AnswerStatusWindow::cellName(int seat, bool answered, const QString &name)
{
    return QString::number(seat) + u"番 "_s + (name.isEmpty() ? QString() : name + u' ') +
           stateText(answered);
}

void AnswerStatusWindow::showNames(const roster::ClassList *names)
{
    m_names = names;
    fitFonts();
}

void AnswerStatusWindow::showAnswered(const tally::AnsweredSeats &answered)
{
    // Only the cells that changed are restyled, so a collection repaints
    // nothing when nobody new has answered.
    for (int seat = 1; seat <= kSeats; ++seat) {
        if (m_answered[seat - 1] != answered.seat[seat])
            paintCell(seat, answered.seat[seat]);
    }
}

void AnswerStatusWindow::paintCell(int seat, bool answered)
{
    m_answered[seat - 1] = answered;
    QLabel *label = m_cells[seat - 1];
    const QColor fill = answered ? kAnsweredFill : kMissingFill;
    const QColor text = answered ? kAnsweredText : kMissingText;
    label->setStyleSheet(u"QLabel { background: %1; color: %2; border: 2px solid %3; }"_s.arg(
        fill.name(), text.name(), answered ? fill.name() : u"#808080"_s));
    // The seat number big, the state small beneath it; a name between them
    // takes room from the number, and is cut to the cell's width.
    const QString name = m_names ? m_names->name(seat) : QString();
    const int numberShare = name.isEmpty() ? 45 : 32;
    const int numberSize =
        std::max(10, std::min(label->height() * numberShare / 100, label->width() * 40 / 100));
    const int stateSize =
        std::max(8, std::min(label->height() * 16 / 100, label->width() * 15 / 100));
    QString nameLine;
    if (!name.isEmpty()) {
        QFont nameFont = label->font();
        nameFont.setPixelSize(
            std::max(9, std::min(label->height() * 20 / 100, label->width() * 18 / 100)));
        const QString shown = QFontMetrics(nameFont).elidedText(name, Qt::ElideRight,
                                                                std::max(8, label->width() - 10));
        nameLine = u"<div style='font-size:%1px'>%2</div>"_s.arg(nameFont.pixelSize())
                       .arg(shown.toHtmlEscaped());
    }
    // In one pass: a name may hold "%1" itself.
    label->setText(u"<div style='font-size:%1px; font-weight:bold'>%2</div>%3"
                   "<div style='font-size:%4px'>%5</div>"_s.arg(
                       QString::number(numberSize), QString::number(seat), nameLine,
                       QString::number(stateSize), stateText(answered)));
    label->setAccessibleName(cellName(seat, answered, name));
}

void AnswerStatusWindow::fitFonts()
{
    for (int seat = 1; seat <= kSeats; ++seat)
        paintCell(seat, m_answered[seat - 1]);
}

void AnswerStatusWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitFonts();
}

} // namespace teacher::forms
