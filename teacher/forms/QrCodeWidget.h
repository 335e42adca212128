#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace teacher::forms {

// The modules of a QR code for text (error correction level M), one pixel
// per module and a quiet zone of four modules; a null image when the text
// cannot be encoded.
QImage qrCodeImage(const QString &text);

// A QR code drawn as large as the widget allows, black on white, with the
// encoded text as its accessible name.
class QrCodeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit QrCodeWidget(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    const QImage &image() const { return m_image; }

    QSize sizeHint() const override { return {360, 360}; }
    QSize minimumSizeHint() const override { return {240, 240}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    QImage m_image;
};

} // namespace teacher::forms
