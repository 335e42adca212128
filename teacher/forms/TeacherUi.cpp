#include "TeacherUi.h"

#include <QPainter>
#include <QPixmap>

namespace teacher::forms {

QColor barColour(int position)
{
    static const QColor colours[5] = {QColor(255, 255, 192), QColor(255, 192, 255),
                                      QColor(192, 255, 192), QColor(192, 255, 255),
                                      QColor(255, 255, 255)};
    return colours[qBound(0, position, 4)];
}

QIcon teacherIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(QColor(0, 0, 128));
        QPainter painter(&pixmap);
        const QColor colours[] = {QColor(255, 255, 192), QColor(255, 192, 255),
                                  QColor(192, 255, 192)};
        const double heights[] = {0.45, 0.8, 0.6};
        const double bar = size / 5.0;
        for (int i = 0; i < 3; ++i) {
            const double h = heights[i] * size * 0.85;
            painter.fillRect(QRectF(bar * (0.5 + 1.5 * i), size * 0.92 - h, bar, h), colours[i]);
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace teacher::forms
