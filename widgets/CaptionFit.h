#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QRectF>
#include <QStringList>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>

// Header only: the logic libraries never include it, the windows of both
// programs do.
namespace widgets {

// The lines a caption takes in a given width: broken where the text allows
// (between Japanese characters, at blanks), inside a word only when the word
// alone is wider than the width. Line breaks in the caption are kept.
inline QStringList wrapCaption(const QString &caption, const QFont &font, qreal width)
{
    QStringList lines;
    QString text = caption;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (const QString &paragraph : text.split(QLatin1Char('\n'))) {
        if (paragraph.isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
    }
    return lines;
}

// How a caption is shown in a box: the font it got, its lines, and whether
// the last line had to be cut short.
struct FittedCaption
{
    QFont font;
    QStringList lines;
    bool elided = false;
};

// True when the wrapped lines fit the box in width and height.
inline bool linesFit(const QStringList &lines, const QFont &font, const QSizeF &box)
{
    const QFontMetricsF metrics(font);
    if (lines.size() * metrics.lineSpacing() - metrics.leading() > box.height())
        return false;
    for (const QString &line : lines) {
        if (metrics.horizontalAdvance(line) > box.width())
            return false;
    }
    return true;
}

// The sizes a caption tries, largest first: the one it was given, then each
// of the answer panel's steps below it (20, 16 and 12 pt), then one point at
// a time down to the smallest that is still legible.
inline QList<qreal> captionSizes(qreal given, qreal smallest = 7)
{
    QList<qreal> sizes{given};
    for (qreal step : {20.0, 16.0, 12.0}) {
        if (step < sizes.last())
            sizes << step;
    }
    for (qreal size = std::floor(sizes.last() - 1); size >= smallest; size -= 1)
        sizes << size;
    return sizes;
}

// Wraps the caption in the box at the font's size, or at the largest smaller
// size that lets the wrapped caption fit; only when none does is the caption
// cut short, at the smallest size, with "…" on its last line.
inline FittedCaption fitCaption(const QString &caption, const QFont &font, const QSizeF &box)
{
    FittedCaption fitted;
    fitted.font = font;
    for (qreal size : captionSizes(font.pointSizeF())) {
        fitted.font.setPointSizeF(size);
        fitted.lines = wrapCaption(caption, fitted.font, box.width());
        if (linesFit(fitted.lines, fitted.font, box))
            return fitted;
    }
    const QFontMetricsF metrics(fitted.font);
    const int room = std::max(1, int((box.height() + metrics.leading()) / metrics.lineSpacing()));
    for (QString &line : fitted.lines) {
        if (metrics.horizontalAdvance(line) > box.width())
            line = metrics.elidedText(line, Qt::ElideRight, box.width());
    }
    if (fitted.lines.size() > room) {
        const QString rest = fitted.lines.mid(room - 1).join(QString());
        fitted.lines = fitted.lines.mid(0, room - 1);
        fitted.lines << metrics.elidedText(rest + QChar(0x2026), Qt::ElideRight, box.width());
    }
    fitted.elided = true;
    return fitted;
}

} // namespace widgets
