#include "QrCodeWidget.h"

#include <QPainter>

#include <qrencode.h>

#include <algorithm>
#include <memory>

namespace teacher::forms {
namespace {

constexpr int kQuietZone = 4;

} // namespace

QImage qrCodeImage(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return {};
    const int size = code->width + 2 * kQuietZone;
    QImage image(size, size, QImage::Format_Mono);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    image.fill(0);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // The lowest bit of each byte tells a dark module.
            if (code->data[y * code->width + x] & 1)
                image.setPixel(x + kQuietZone, y + kQuietZone, 1);
        }
    }
    return image;
}

QrCodeWidget::QrCodeWidget(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::NoFocus);
}

void QrCodeWidget::setText(const QString &text)
{
    m_text = text;
    m_image = qrCodeImage(text);
    setAccessibleName(text);
    setToolTip(text);
    update();
}

void QrCodeWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (m_image.isNull())
        return;
    // Whole pixels per module keep every module the same size.
    const int side = std::min(width(), height());
    const int scale = std::max(1, side / m_image.width());
    const int drawn = scale * m_image.width();
    const QRect target((width() - drawn) / 2, (height() - drawn) / 2, drawn, drawn);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, m_image);
}

} // namespace teacher::forms
