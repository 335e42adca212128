#pragma once

#include <QImage>
#include <QSize>

namespace student::forms {

// The answer panel's decorative background: a horizontal gradient from
// yellow at the left to cyan at the right, with the product name in
// outlined letters.
QImage backgroundPicture(QSize size);

} // namespace student::forms
