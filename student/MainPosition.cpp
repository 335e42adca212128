#include "MainPosition.h"

#include "exchange/NumberText.h"

#include <QSettings>

#include <cmath>

using namespace Qt::StringLiterals;

namespace student {
namespace {

double readTwips(const QSettings &settings, const QString &key)
{
    const QString text = settings.value(key).toString();
    if (!exchange::isNumericText(text))
        return kDefaultPositionTwips;
    const double twips = exchange::readNumber(text);
    // Beyond any screen in either direction; also keeps the pixel conversion in range.
    if (!std::isfinite(twips) || std::fabs(twips) > 1e7)
        return kDefaultPositionTwips;
    return twips;
}

QString twipsText(double twips)
{
    return exchange::numberDigits(twips);
}

} // namespace

QPoint TwipsPosition::toPixels() const
{
    return {qRound(left / kTwipsPerPixel), qRound(top / kTwipsPerPixel)};
}

TwipsPosition TwipsPosition::movedTo(QPoint pixels) const
{
    if (pixels == toPixels())
        return *this;
    return {pixels.x() * kTwipsPerPixel, pixels.y() * kTwipsPerPixel};
}

std::unique_ptr<QSettings> openPositionSettings()
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(u"HKEY_CURRENT_USER\\Software\\OmbraSeat"_s,
                                       QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(u"OmbraSeat"_s);
#endif
}

TwipsPosition loadMainPosition()
{
    const std::unique_ptr<QSettings> settings = openPositionSettings();
    settings->beginGroup(u"Settings"_s);
    return {readTwips(*settings, u"MainLeft"_s), readTwips(*settings, u"MainTop"_s)};
}

void saveMainPosition(const TwipsPosition &position)
{
    const std::unique_ptr<QSettings> settings = openPositionSettings();
    settings->beginGroup(u"Settings"_s);
    settings->setValue(u"MainLeft"_s, twipsText(position.left));
    settings->setValue(u"MainTop"_s, twipsText(position.top));
}

} // namespace student
