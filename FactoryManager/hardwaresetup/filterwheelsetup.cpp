// The filter wheel scan's table helpers: the default table, the largest hole, the wheel
// identification, the blocked positions and the straight-line fit of the encoders.
#include "filterwheelsetup.h"

#include <QDebug>
#include <QJsonArray>

#include <cmath>

namespace {

const QString kAssy20772 = QStringLiteral("ASSY-20772");

QJsonArray defaultPositions(const QJsonObject &defaultHwParams, const QString &filterType)
{
    return defaultHwParams.value(QStringLiteral("filter"))
        .toObject()
        .value(filterType)
        .toObject()
        .value(QStringLiteral("positions"))
        .toArray();
}

// Reads one position of the default table; false (with the message) when it is not usable.
bool readDefaultPosition(const QJsonObject &entry, const QString &filterType, int position,
                         xrf_hal::FilterParams *out, QString *error)
{
    const int encoder = entry.value(QStringLiteral("approxEncoder")).toInt(0);
    const int z = entry.value(QStringLiteral("materialAtomicNumber")).toInt(-1);
    const int thickness = entry.value(QStringLiteral("thicknessInMicrons")).toInt(0);
    const int diameter = entry.value(QStringLiteral("diameterInMicrons")).toInt(0);
    if (thickness == 0 && diameter == 0) {
        *error = QStringLiteral(
                     "Both thickness and diameter for filter %1, position %2 are set to 0 at the "
                     "same time.")
                     .arg(filterType)
                     .arg(position);
        return false;
    }
    if (z < 0 || z > 92) {
        *error =
            QStringLiteral("Invalid Material Atomic number %1 found for filter %2, position %3.")
                .arg(z)
                .arg(filterType)
                .arg(position);
        return false;
    }
    // The controller keeps unsigned 16-bit words.
    if (encoder < 0 || encoder > 0xFFFF || thickness < 0 || thickness > 0xFFFF || diameter < 0
        || diameter > 0xFFFF) {
        *error =
            QStringLiteral("Invalid encoder, thickness or diameter for filter %1, position %2.")
                .arg(filterType)
                .arg(position);
        return false;
    }
    *out = {quint16(encoder), quint16(z), quint16(thickness), quint16(diameter)};
    qDebug().noquote() << QStringLiteral("%1:\t %2 - %3 - %4 - %5")
                              .arg(position)
                              .arg(z)
                              .arg(diameter)
                              .arg(thickness)
                              .arg(encoder);
    return true;
}

} // namespace

int FilterWheelSetup::defaultFilterCount(const QJsonObject &defaultHwParams,
                                         const QString &filterType)
{
    const QJsonValue filter =
        defaultHwParams.value(QStringLiteral("filter")).toObject().value(filterType);
    if (!filter.isObject() || !filter.toObject().value(QStringLiteral("positions")).isArray())
        return -1;
    return defaultPositions(defaultHwParams, filterType).size();
}

bool FilterWheelSetup::getDefaultFilterValues(const QJsonObject &defaultHwParams,
                                              const QString &filterType, xrf_hal::FilterParams *out,
                                              QString *error)
{
    QString ignored;
    QString &message = error ? *error : ignored;
    message.clear();
    qDebug() << "getting default filter data from factory_setup_data.json";
    const QJsonValue filters = defaultHwParams.value(QStringLiteral("filter"));
    if (!filters.isObject()) {
        message = QStringLiteral("Failed to find 'filter' object.");
        return false;
    }
    const QJsonValue filter = filters.toObject().value(filterType);
    if (!filter.isObject()) {
        message =
            QStringLiteral("Failed to find default filter params for filter %1.").arg(filterType);
        return false;
    }
    const QJsonValue positions = filter.toObject().value(QStringLiteral("positions"));
    if (!positions.isArray()) {
        message = QStringLiteral(
                      "Failed to find 'positions' array in default filter params for filter %1.")
                      .arg(filterType);
        return false;
    }
    const QJsonArray array = positions.toArray();
    if (array.isEmpty()) {
        message = QStringLiteral("Filter positions array for filter %1 is empty.").arg(filterType);
        return false;
    }
    if (!out) {
        message =
            QStringLiteral("No room for the default filter params of filter %1.").arg(filterType);
        return false;
    }
    qDebug() << "Position:\t Material - Diameter - Thickness - Encoder";
    QVector<xrf_hal::FilterParams> table(array.size());
    for (int p = 0; p < array.size(); ++p) {
        if (!readDefaultPosition(array.at(p).toObject(), filterType, p, &table[p], &message))
            return false;
    }
    std::copy(table.cbegin(), table.cend(), out);
    return true;
}

void FilterWheelSetup::findMaxHoleGivenZThickness(int maxFilterPosition,
                                                  xrf_hal::FilterParams *table, int atomicNumber,
                                                  int thicknessUm, int *diameter, int *encoder)
{
    int foundDiameter = table ? -1 : -2;
    int foundEncoder = foundDiameter;
    qDebug() << "maxFilterPosition: " << maxFilterPosition;
    qDebug() << "filter material[Z]-thickness[um] of interest: " << atomicNumber << "-"
             << thicknessUm;
    qDebug() << "position:  Zmat thick[um] diam[um] encoder";
    for (int p = 0; table && p <= maxFilterPosition; ++p) {
        const xrf_hal::FilterParams &f = table[p];
        qDebug() << p << f.materialAtomicNumber << f.thicknessInMicrons << f.diameterInMicrons
                 << f.encoder;
        if (f.materialAtomicNumber == atomicNumber && f.thicknessInMicrons == thicknessUm
            && int(f.diameterInMicrons) > foundDiameter) {
            foundDiameter = f.diameterInMicrons;
            foundEncoder = f.encoder;
        }
    }
    if (diameter)
        *diameter = foundDiameter;
    if (encoder)
        *encoder = foundEncoder;
}

// F7 is tungsten on every wheel but ASSY-20772, so a rate there names that wheel. The others are
// told apart by F3 against F5: ASSY-20853 passes more at F3, ASSY-20854 and 10-039443-00 less.
QString FilterWheelSetup::wheelIdentityError(const WheelCheckRates &rates, int darkRateMaxAllowable)
{
    const bool workOrder20772 = rates.filterType == kAssy20772;
    if (rates.icrF7 > darkRateMaxAllowable && !workOrder20772)
        return QStringLiteral(
                   "Filter scan FAILED.\nICR@F7 %1cps w/ %2kV %3uA indicates you have an "
                   "ASSY-20772 when your work order says you have a %4")
            .arg(rates.icrF7)
            .arg(rates.kv)
            .arg(rates.ua)
            .arg(rates.filterType);
    // Every other wheel blocks F7, so a dark F7 is not an ASSY-20772.
    if (workOrder20772 && rates.icrF7 <= darkRateMaxAllowable)
        return QStringLiteral("Filter scan FAILED.\nICR@F7 %1cps w/ %2kV %3uA indicates you don't "
                              "have an ASSY-20772 as indicated by your work order")
            .arg(rates.icrF7)
            .arg(rates.kv)
            .arg(rates.ua);
    if (workOrder20772)
        return QString();
    bool matches = true;
    if (rates.icrF3 < rates.icrF5)
        matches = rates.filterType == QLatin1String("ASSY-20854")
            || rates.filterType == QLatin1String("10-039443-00");
    else if (rates.icrF3 > rates.icrF5)
        matches = rates.filterType == QLatin1String("ASSY-20853");
    if (matches)
        return QString();
    return QStringLiteral("Filter scan FAILED.\nAt %1kV %2uA, ICR@F3 %3cps and ICR@F5 %4cps "
                          "indicates you don't have a %5 as indicated by your work order")
        .arg(rates.kv)
        .arg(rates.ua)
        .arg(rates.icrF3)
        .arg(rates.icrF5)
        .arg(rates.filterType);
}

void FilterWheelSetup::interpolateBlockedPositions(QVector<int> *encoders,
                                                   const QVector<int> &atomicNumbers,
                                                   int encoderMin, int encoderMax)
{
    if (!encoders)
        return;
    QVector<int> &e = *encoders;
    const int last = e.size() - 1;
    for (int p = 0; p <= last && p < atomicNumbers.size(); ++p) {
        if (atomicNumbers.at(p) != kBlockingAtomicNumber || last < 2)
            continue;
        if (p == 0)
            e[p] = 2 * e[1] - e[2];
        else if (p == last)
            e[p] = 2 * e[last - 1] - e[last - 2];
        else
            e[p] = (e[p - 1] + e[p + 1]) / 2;
        if (p == 0 && e[p] < encoderMin) {
            qWarning().noquote() << QStringLiteral(
                                        "Calculated encoder %1 for position 0 is less "
                                        "than minimum encoder %2. Will be using min value.")
                                        .arg(e[p])
                                        .arg(encoderMin);
            e[p] = encoderMin;
        }
        if (e[p] > encoderMax) {
            qWarning().noquote() << QStringLiteral(
                                        "Calculted encoder %1 for position %2 is greater "
                                        "than max encoder %3. Will be using max value")
                                        .arg(e[p])
                                        .arg(p)
                                        .arg(encoderMax);
            e[p] = encoderMax;
        }
    }
}

bool FilterWheelSetup::fitEncoders(const QVector<int> &encoders, double *offset, double *slope,
                                   double *rSquared, QString *error)
{
    const int n = encoders.size() - 1; // the last position is not fitted
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int x = 0; x < n; ++x) {
        sx += x;
        sy += encoders.at(x);
        sxx += double(x) * x;
        sxy += double(x) * encoders.at(x);
    }
    const double denominator = n * sxx - sx * sx;
    if (n < 2 || denominator == 0) {
        *error = QStringLiteral(
            "Filter scan FAILED.\nLinear fitting of filter encoders vs positions has error.");
        return false;
    }
    *slope = (n * sxy - sx * sy) / denominator;
    *offset = (sy - *slope * sx) / n;
    const double mean = sy / n;
    double explained = 0, total = 0;
    for (int x = 0; x < n; ++x) {
        const double fitted = *offset + *slope * x;
        explained += (fitted - mean) * (fitted - mean);
        total += (encoders.at(x) - mean) * (encoders.at(x) - mean);
    }
    if (total == 0 || !std::isfinite(explained / total)) {
        *error =
            QStringLiteral("Filter scan FAILED.\nGoodness of fit computation of fitting filter "
                           "encoders vs positions has error.");
        return false;
    }
    *rSquared = explained / total;
    return true;
}

bool FilterWheelSetup::checkEncoderFit(const FilterScanParams &params, double offset, double slope,
                                       double rSquared, QString *error)
{
    qInfo().noquote() << QStringLiteral("fitOffset %1, fitSlope %2, fitRSquared %3")
                             .arg(offset)
                             .arg(slope)
                             .arg(rSquared);
    if (rSquared < params.linearFitRSquaredMinReq) {
        *error =
            QStringLiteral(
                "Filter scan FAILED.\nLinear fit R-squared value %1 less than minimum required %2.")
                .arg(rSquared)
                .arg(params.linearFitRSquaredMinReq);
        return false;
    }
    if (std::abs(offset - params.approxEncOffset) > params.encoderOffsetTolerance) {
        *error = QStringLiteral("Filter scan FAILED.\nFitted encoder offset %1 more than %2 ticks "
                                "away from expected %3.")
                     .arg(offset)
                     .arg(params.encoderOffsetTolerance)
                     .arg(params.approxEncOffset);
        return false;
    }
    qDebug().noquote() << QStringLiteral("fit slope %1, expected slope %2, slope tolerance %3")
                              .arg(slope)
                              .arg(params.approxEncSlope)
                              .arg(params.encoderSlopeTolerance);
    if (std::abs(slope - params.approxEncSlope) > params.encoderSlopeTolerance) {
        *error = QStringLiteral("Filter scan FAILED.\nFitted encoder slope %1 more than %2 ticks "
                                "away from expected %3.")
                     .arg(slope)
                     .arg(params.encoderSlopeTolerance)
                     .arg(params.approxEncSlope);
        return false;
    }
    return true;
}
