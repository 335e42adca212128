#include "FittingLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace teacher::forms {

widgets::FittedCaption FittingLabel::fitted() const
{
    return widgets::fitCaption(text(), font(), contentsRect().size());
}

void FittingLabel::paintEvent(QPaintEvent *)
{
    const widgets::FittedCaption shown = fitted();
    QPainter painter(this);
    painter.setFont(shown.font);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(),
                          shown.lines.join(QLatin1Char('\n')), foregroundRole());
}

bool FittingLabel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (fitted().elided)
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

} // namespace teacher::forms
