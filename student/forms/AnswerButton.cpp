#include "AnswerButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

using namespace Qt::StringLiterals;

namespace student::forms {

namespace {

// Room kept free between the caption and the button's edge.
constexpr int kCaptionMargin = 2;

} // namespace

void AnswerButton::setCaption(const QString &caption)
{
    if (caption == m_caption && !text().isEmpty())
        return;
    m_caption = caption;
    QString text = caption;
    setText(text.replace(u'&', u"&&"_s));
    setToolTip(caption);
    setAccessibleName(caption);
    update();
}

QRect AnswerButton::captionRect() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()
        ->subElementRect(QStyle::SE_PushButtonContents, &option, this)
        .adjusted(kCaptionMargin, kCaptionMargin, -kCaptionMargin, -kCaptionMargin);
}

widgets::FittedCaption AnswerButton::fitted() const
{
    return widgets::fitCaption(m_caption, font(), captionRect().size());
}

void AnswerButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    const widgets::FittedCaption shown = fitted();
    painter.setFont(shown.font);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(captionRect(), Qt::AlignCenter | Qt::TextDontClip, shown.lines.join(u'\n'));
}

} // namespace student::forms
