#pragma once

#include "widgets/CaptionFit.h"

#include <QLabel>

namespace teacher::forms {

// An answer label under the graph. Its caption wraps within the label at the
// label's font, or at the largest smaller size that lets it fit; only a
// caption that fits at no legible size is cut short, and then the whole
// caption shows as the tooltip. The caption stays the label's text for
// assistive tools.
class FittingLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    // How the caption is drawn at the label's present font and size.
    widgets::FittedCaption fitted() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};

} // namespace teacher::forms
