#include "AnswerStatusWindow.h"

#include "TeacherUi.h"

#include <QGridLayout>
#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace teacher {
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
        label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        label->setFocusPolicy(Qt::TabFocus); // reachable for screen readers
        m_cells[seat - 1] = label;
        grid->addWidget(label, (seat - 1) / kColumns, (seat - 1) % kColumns);
        paintCell(seat, false);
    }
    resize(860, 480);
}

QString AnswerStatusWindow::cellName(int seat, bool answered)
{
    return QString::number(seat) + u"番 "_s + stateText(answered);
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
    // The seat number big, the state small beneath it.
    const int numberSize =
        std::max(10, std::min(label->height() * 45 / 100, label->width() * 40 / 100));
    const int stateSize =
        std::max(8, std::min(label->height() * 16 / 100, label->width() * 15 / 100));
    label->setText(u"<div style='font-size:%1px; font-weight:bold'>%2</div>"
                   "<div style='font-size:%3px'>%4</div>"_s.arg(numberSize)
                       .arg(seat)
                       .arg(stateSize)
                       .arg(stateText(answered)));
    label->setAccessibleName(cellName(seat, answered));
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

} // namespace teacher
