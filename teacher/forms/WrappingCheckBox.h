#pragma once

#include <QCheckBox>

namespace teacher::forms {

// A check box whose caption wraps onto further lines within its width, for
// the narrow place the control bar gives it. The caption stays the widget's
// text, so assistive tools read it as usual.
class WrappingCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};

} // namespace teacher::forms
