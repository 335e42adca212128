#include "BackgroundPicture.h"

#include "widgets/GothicFont.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;

namespace student::forms {

QImage backgroundPicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient gradient(0, 0, size.width(), 0);
    gradient.setColorAt(0, Qt::yellow);
    gradient.setColorAt(1, Qt::cyan);
    painter.fillRect(image.rect(), gradient);

    QFont font = widgets::gothicFont(10, true);
    font.setPixelSize(size.height() * 3 / 5);
    const QString name = u"オンブラ"_s;
    QPainterPath letters;
    letters.addText(0, 0, font, name);
    // Centre the letters whatever the font's own width turns out to be.
    const QRectF bounds = letters.boundingRect();
    letters.translate(QPointF(size.width(), size.height()) / 2 - bounds.center());

    painter.setPen(QPen(QColor(0, 96, 160, 150), 2));
    painter.setBrush(QColor(255, 255, 255, 90));
    painter.drawPath(letters);
    return image;
}

} // namespace student::forms
