#pragma once

#include <QPoint>
#include <QSettings>
#include <QString>

#include <memory>

namespace student {

// The answer panel's position as kept in the per-user settings: organization
// "OmbraSeat", group "Settings", keys "MainLeft" and "MainTop", each a text
// holding twips (15 twips to a pixel).
inline constexpr double kTwipsPerPixel = 15.0;
inline constexpr double kDefaultPositionTwips = 1000.0;

struct TwipsPosition
{
    double left = kDefaultPositionTwips;
    double top = kDefaultPositionTwips;

    // The pixel position these twips stand for, rounded to whole pixels.
    QPoint toPixels() const;
    // The position to keep for a window now at pixels: the twips it was
    // placed from when it has not moved off that pixel, so that opening and
    // closing does not creep (1000 twips are 66.7 pixels, shown at 67, which
    // would come back as 1005); otherwise pixels times 15.
    TwipsPosition movedTo(QPoint pixels) const;

    friend bool operator==(const TwipsPosition &, const TwipsPosition &) = default;
};

// The per-user store of those names: on Windows the registry key
// HKEY_CURRENT_USER\Software\OmbraSeat (Qt would put an organization's own
// values in a subkey OrganizationDefaults), elsewhere Qt's file for the
// organization (~/.config/OmbraSeat.conf).
std::unique_ptr<QSettings> openPositionSettings();

// Reads the saved position. A key that is missing, or whose text is not a
// finite number, gives the default of 1000 twips for that edge.
TwipsPosition loadMainPosition();
// Writes both edges as texts.
void saveMainPosition(const TwipsPosition &position);

} // namespace student
