#pragma once

#include <QFont>
#include <QStringList>

// Header only: the logic libraries never include it, the windows of both
// programs do.
namespace widgets {

// Font families for the Japanese fixed-pitch gothic font both programs use
// for their texts, in order of preference. The first is the Windows font;
// the others stand in for it where it is missing (IPA Gothic on Linux).
inline QStringList gothicFontFamilies()
{
    return {QStringLiteral(u"ＭＳ ゴシック"),
            QStringLiteral("MS Gothic"),
            QStringLiteral("IPAGothic"),
            QStringLiteral(u"IPAゴシック"),
            QStringLiteral("Noto Sans Mono CJK JP"),
            QStringLiteral("monospace")};
}

// That font at a point size.
inline QFont gothicFont(double pointSize, bool bold = false)
{
    QFont font;
    font.setFamilies(gothicFontFamilies());
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace widgets
