#pragma once

#include <QStringList>

namespace exchange {

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

} // namespace exchange
