#pragma once

// The keys of the air shot result object that the air shot files share.

#include <QString>

namespace AirShotKeys {
inline const QString kAirSample = QStringLiteral("Air");
inline const QString kData = QStringLiteral("data");
inline const QString kUnCollimated = QStringLiteral("unCollimatedShots");
inline const QString kCollimated = QStringLiteral("collimatedShots");
} // namespace AirShotKeys
