#pragma once

#include "widgets/GothicFont.h"

#include <QColor>
#include <QFont>
#include <QIcon>

namespace teacher::forms {

// Window geometry is given in twips, 15 to a pixel.
constexpr int twips(int value)
{
    return value / 15;
}

// The Japanese gothic font of the teacher's windows at a point size.
using widgets::gothicFont;

// The graph's dark blue background and the fill colours of its five bar
// positions, on screen and in print.
inline QColor graphBackground()
{
    return QColor(0, 0, 128);
}
QColor barColour(int position);

// The program's icon: a small bar graph.
QIcon teacherIcon();

} // namespace teacher::forms
