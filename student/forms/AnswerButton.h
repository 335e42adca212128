#pragma once

#include "widgets/CaptionFit.h"

#include <QPushButton>

namespace student::forms {

// An answer button of the panel. Its caption wraps onto as many lines as the
// button holds, at the size the panel chose or, when the wrapped caption
// still does not fit, at the largest smaller size that lets it; only a caption
// that fits at no legible size is cut short. The whole caption stays the
// button's text, tooltip and accessible name.
class AnswerButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    // Shows the label as the teacher wrote it ("&" included, not a shortcut).
    void setCaption(const QString &caption);
    QString caption() const { return m_caption; }

    // How the caption is drawn at the button's present font and size.
    widgets::FittedCaption fitted() const;
    // The room the caption is drawn in.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
};

} // namespace student::forms
