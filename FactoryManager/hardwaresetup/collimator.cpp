// Collimator ratio setup: count rates through the uncollimated and collimated filter of each pair.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include <QDebug>
#include <QHash>
#include <QMetaEnum>
#include <QVector>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kStepId = QStringLiteral("collimatorRatioSetup");
const QString kFilterPairsKey = QStringLiteral("filterPairs");
const QString kFilterPairsSetting = QStringLiteral("hardware.filterPairs");

QString settingsErrorKey(int code)
{
    const char *key = QMetaEnum::fromType<XrfErrorInfo::XrfError>().valueToKey(code);
    return key ? QString::fromLatin1(key) : QString::number(code);
}

QString decimal2(double value)
{
    return QString::number(value, 'f', 2);
}

// The open or collimated half of a pair as the controller's table gives it.
struct TableFilter
{
    int position = -1;
    int encoder = 0;
};

XrfFilterPair makePair(const xrf_hal::FilterParams &params, const TableFilter &open,
                       const TableFilter &collimated)
{
    XrfFilterPair pair;
    pair.setMaterialAtomicNumber(params.materialAtomicNumber);
    pair.setThickness(params.thicknessInMicrons);
    pair.setUnCollimatedPosition(open.position);
    pair.setUnCollimatedEncoder(open.encoder);
    pair.setCollimatedPosition(collimated.position);
    pair.setCollimatedEncoder(collimated.encoder);
    return pair;
}

} // namespace

void Worker::doCollimatorRatioSetup()
{
    qDebug() << "Entering doCollimatorRatioSetup";
    qDebug() << "Starting collimator ratio setup";
    setCurrentTaskStatus(tr("Starting collimator ratio setup..."));
    setCurrentTaskProgress(-1.0);
    beginHardwareSetupStep(kStepId);
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    const QJsonObject results = hardwareSetupCurrentStep.results();
    filterPairs.clear();
    collimatorRatioShots.clear();
    collimatorRatioShotsRemaining = 0;
    unCollimatedToCollimatedRatioMin =
        params.value(QStringLiteral("unCollimatedToCollimatedRatioMin")).toDouble();
    unCollimatedToCollimatedRatioMax =
        params.value(QStringLiteral("unCollimatedToCollimatedRatioMax")).toDouble();

    const bool fromStoredResult = results.contains(kFilterPairsKey);
    QString error;
    bool found = false;
    if (fromStoredResult) {
        qDebug() << "Loading filter pairs from last collimator ratio setup result";
        const QJsonValue stored = results.value(kFilterPairsKey);
        found = stored.isObject() && filterPairs.fromJsonObject(stored.toObject(), &error);
        if (found)
            qInfo() << "Loaded filter pairs from lastResult.json";
        else if (error.isEmpty())
            error = QStringLiteral("stored filter pairs are not an object");
    } else {
        qDebug() << "Loading filter pairs from scratch";
        found = buildFilterPairsFromK60(&filterPairs, &error);
    }
    if (!found) {
        const QString message =
            tr("Collimator ratio setup failed to find filter pairs, error: %1").arg(error);
        qWarning().noquote() << message;
        onCollimatorRatioShotsComplete(false, message);
        return;
    }
    if (filterPairs.isEmpty()) {
        qInfo() << "No uncollimated/collimated filter pairs found for the filter.";
        onCollimatorRatioShotsComplete(true, QString());
        return;
    }

    if (!planCollimatorRatioShots(params, fromStoredResult, &error)) {
        onCollimatorRatioShotsComplete(false, error);
        return;
    }
    qInfo().noquote() << QStringLiteral("Filter pairs found: %1, total shots to take: %2")
                             .arg(filterPairs.size())
                             .arg(collimatorRatioShots.size());
    takeExposureSignals({[this] { collimatorExposure.onStarted(); },
                         [this](const XrfSpectrum &s) { collimatorExposure.onSpectrum(s); },
                         [this](XrfHardwareManager::XrfExposureEndCondition end, bool tubeOn) {
                             onCollimatorRatioShotExposureStopped(end, tubeOn);
                         },
                         [this](const XrfErrorInfo &e) {
                             collimatorExposure.onError(e);
                         }});
    doCollimatorRatioShots();
}

// A pair is one open (2718 um) and one collimated (482 um) hole of the same material and
// thickness; holes of any other diameter, and further holes of a key already paired, are no
// part of a pair.
bool Worker::buildFilterPairsFromK60(XrfFilterPairsList *pairs, QString *errorMsg)
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    unsigned char maxPosition = 0;
    if (const int code = engine->getMaxFilterPosition(&maxPosition)) {
        *errorMsg =
            QStringLiteral("K60 failed to read the maximum filter position, err:%1").arg(code);
        return false;
    }
    const int count = int(maxPosition) + 1;
    QVector<xrf_hal::FilterParams> table(count);
    if (const int code = engine->getFilterData(table.data(), (unsigned char)count)) {
        *errorMsg = QStringLiteral("K60 failed to read the filter table, err:%1").arg(code);
        return false;
    }

    QHash<QString, TableFilter> open;
    QHash<QString, TableFilter> collimated;
    pairs->clear();
    for (int position = 0; position < count; ++position) {
        const xrf_hal::FilterParams &params = table.at(position);
        const QString key =
            XrfFilterPair::makePairId(params.materialAtomicNumber, params.thicknessInMicrons);
        if (pairs->getFilterPair(params.materialAtomicNumber, params.thicknessInMicrons))
            continue;
        const TableFilter filter{position, params.encoder};
        if (params.diameterInMicrons == unCollimatedDiameterInMicrons && !open.contains(key))
            open.insert(key, filter);
        else if (params.diameterInMicrons == collimatorDiameterInMicrons
                 && !collimated.contains(key))
            collimated.insert(key, filter);
        else
            continue;
        if (open.contains(key) && collimated.contains(key))
            pairs->setFilterPair(makePair(params, open.value(key), collimated.value(key)));
    }
    return true;
}

bool Worker::planCollimatorRatioShots(const QJsonObject &params, bool fromStoredResult,
                                      QString *errorMsg)
{
    const QJsonObject exposureMap = params.value(QStringLiteral("filterExposureMap")).toObject();
    const QJsonObject exposures = params.value(QStringLiteral("exposures")).toObject();

    for (const XrfFilterPair &pair : filterPairs.list()) {
        if (fromStoredResult && pair.unCollimatedToCollimatedIcrRatio() > 0) {
            qInfo().noquote() << QStringLiteral("Skipped shots for pair-id:%1, unCollimatedIcr:%2, "
                                                "collimatedIcr:%3")
                                     .arg(pair.pairId())
                                     .arg(pair.unCollimatedIcr())
                                     .arg(pair.collimatedIcr());
            continue;
        }
        qDebug() << "Take shots for pair Id:" << pair.pairId();
        const QString name =
            exposureMap.value(pair.pairId()).toString(QStringLiteral("exposureDefault"));
        const QJsonValue exposureJson = exposures.value(name);
        XrfExposureSettings exposure;
        if (!exposureJson.isObject() || !exposure.fromJsonObject(exposureJson.toObject())) {
            *errorMsg = QStringLiteral("Failed to load exposure '%1' for filter pair %2 from "
                                       "setup params")
                            .arg(name, pair.pairId());
            qWarning().noquote() << *errorMsg;
            return false;
        }
        XrfExposureSettings unCollimated = exposure;
        if (!configureExposureFilterParams(quint16(pair.unCollimatedPosition()), &unCollimated)) {
            *errorMsg = QStringLiteral("Failed to configure exposure filter params");
            qWarning().noquote() << *errorMsg;
            return false;
        }
        XrfExposureSettings collimated = exposure;
        if (!configureExposureFilterParams(quint16(pair.collimatedPosition()), &collimated)) {
            *errorMsg = QStringLiteral("Failed to read filter params from K60");
            qWarning().noquote() << *errorMsg;
            return false;
        }
        qDebug() << "unCollimatedExposure" << unCollimated.toJsonObject();
        qDebug() << "collimatedExposure" << collimated.toJsonObject();
        collimatorRatioShots << unCollimated << collimated;
    }
    collimatorRatioShotsRemaining = collimatorRatioShots.size();
    return true;
}

void Worker::doCollimatorRatioShots()
{
    qDebug() << "Entering doCollimatorRatioShots";
    const int index = collimatorRatioShots.size() - collimatorRatioShotsRemaining;
    if (index < 0 || index >= collimatorRatioShots.size()) {
        if (!userAbort)
            onCollimatorRatioShotsComplete(true, QString());
        else
            releaseExposureSignals();
    } else if (!userAbort) {
        collimatorExposure.reset();
        collimatorExposure.settings = collimatorRatioShots.at(index);
        qInfo().noquote() << "Starting CollimatedRatioSetup exposure:"
                          << collimatorExposure.settings.toString();
        if (const int code = XrfHardwareManager::instance()->startExposure(
                collimatorExposure.settings, 0, 0, 0, 0, 0, 0)) {
            const QString message = QStringLiteral("Failed to start exposure, err:%1").arg(code);
            qWarning().noquote() << message;
            onCollimatorRatioShotsComplete(false, message);
        }
    } else {
        const QString message = QStringLiteral("collimator ratio setup aborted by the user");
        qWarning().noquote() << message;
        onCollimatorRatioShotsComplete(false, message);
    }
    qDebug() << "Leaving doCollimatorRatioShots";
}

void Worker::onCollimatorRatioShotExposureStopped(
    XrfHardwareManager::XrfExposureEndCondition endCondition, bool)
{
    if (!collimatorExposure.onStopped())
        return;
    if (endCondition != XrfHardwareManager::EndNormal) {
        onCollimatorRatioShotsComplete(
            false,
            QStringLiteral("Exposure failed, err:%1")
                .arg(XrfHardwareManager::exposureEndConditionToString(endCondition)));
        return;
    }
    const XrfFilterProperties filter = collimatorExposure.settings.filter();
    const int thickness = qRound(filter.thicknessInMicrons());
    const int diameter = qRound(filter.diameterInMicrons());
    qDebug().noquote() << QStringLiteral(
                              "Collimation ratio setup shot for %1-%2-%3 ended normally.")
                              .arg(filter.materialAtomicNumber())
                              .arg(thickness)
                              .arg(diameter);
    const XrfFilterPair *found =
        filterPairs.getFilterPair(filter.materialAtomicNumber(), thickness);
    if (!found) {
        onCollimatorRatioShotsComplete(false,
                                       QStringLiteral("Filter pair used by the exposure "
                                                      "does not exists in filter pairs "
                                                      "list."));
        return;
    }
    XrfFilterPair pair = *found;
    const double icr = collimatorExposure.lastSpectrum.inputCountRate();
    if (!filter.hasCollimator() && diameter != collimatorDiameterInMicrons) {
        qDebug() << "unCollimatedIcr:" << icr;
        pair.setUnCollimatedIcr(icr);
    } else {
        qDebug() << " collimatedIcr:" << icr;
        pair.setCollimatedIcr(icr);
    }
    filterPairs.setFilterPair(pair);
    saveFilterPairsSetting(nullptr);
    collimatorRatioShotsRemaining -= 1;
    doCollimatorRatioShots();
}

void Worker::onCollimatorRatioShotsComplete(bool ok, QString message)
{
    releaseExposureSignals();
    if (!ok) {
        hardwareSetupCurrentStep.setResults({{kFilterPairsKey, filterPairs.toJsonObject()}});
        onHardwareSetupStepComplete(false, message);
        return;
    }
    QString report;
    if (!evaluateCollimatorRatios(&report)) {
        // The count rates stay with the sub-step; the pairs that failed are shot again next time.
        hardwareSetupCurrentStep.setResults({{kFilterPairsKey, filterPairs.toJsonObject()}});
        onHardwareSetupStepComplete(false, report);
        return;
    }
    QString saveError;
    if (!saveFilterPairsSetting(&saveError)) {
        onHardwareSetupStepComplete(false, saveError);
        return;
    }
    hardwareSetupCurrentStep.setResults({{kFilterPairsKey, filterPairs.toJsonObject()}});
    qDebug() << "CollimatorRatioSetupResult::" << hardwareSetupCurrentStep.results();
    onHardwareSetupStepComplete(true, report);
}

bool Worker::evaluateCollimatorRatios(QString *report)
{
    const double min = unCollimatedToCollimatedRatioMin;
    const double max = unCollimatedToCollimatedRatioMax;
    QString lines;
    bool allPassed = true;
    for (XrfFilterPair pair : filterPairs.list()) {
        const double ratio =
            pair.collimatedIcr() > 0 ? pair.unCollimatedIcr() / pair.collimatedIcr() : 0.0;
        const bool passed = !(ratio < min || ratio > max);
        lines += QStringLiteral("%1: %2").arg(pair.pairId(), decimal2(ratio));
        lines += passed ? QStringLiteral(" PASSED\n") : QStringLiteral(" FAILED\n");
        // A failed pair keeps no ratio, so that the next run shoots it again.
        pair.setUnCollimatedToCollimatedIcrRatio(passed ? ratio : 0.0);
        filterPairs.setFilterPair(pair);
        allPassed = allPassed && passed;
    }
    qInfo().noquote() << "unCollimatedToCollimatedRatioMin: " << min
                      << " unCollimatedToCollimatedRatioMax: " << max;
    qInfo().noquote() << "Uncollimated to collimated filter ratios:" << lines;
    *report = QStringLiteral("Acceptable: %1 - %2\n").arg(decimal2(min), decimal2(max)) + lines;
    return allPassed;
}

bool Worker::saveFilterPairsSetting(QString *errorMsg)
{
    QJsonObject pairs = filterPairs.toJsonObject();
    const int code =
        XrfSettingsManager::instance()->setUniversalSetting(kFilterPairsSetting, &pairs);
    if (code == 0)
        return true;
    const QString message =
        QStringLiteral("failed to save filter pairs to universalsettings XrfErrorInfo::XrfError-")
        + settingsErrorKey(code);
    qWarning().noquote() << message;
    if (errorMsg)
        *errorMsg = message;
    return false;
}
