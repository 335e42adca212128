#pragma once

#include <QImage>
#include <QSize>

// The answer panel's decorative background: a horizontal gradient from
// yellow at the left to cyan at the right, with the product name in
// outlined letters.
QImage backgroundPicture(QSize size);
