#include "simcloudstate.h"

#include "xrfnetworkmanager.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QUuid>

// Instruments, work orders, factory defaults, step results and the device factory status.

namespace {
using Id = XrfNetworkManager::CloudRequestIds;

constexpr int lastFactoryStep = 11;
constexpr int stepStatusDiscarded = 4;
constexpr int stepStatusPassed = 2;
constexpr int stabilityStep = 5;
constexpr int collimatedStabilityStep = 6;

QString workOrderChecksum(const QJsonObject &workOrder)
{
    QJsonObject withoutChecksum = workOrder;
    withoutChecksum.remove(QStringLiteral("checkSum"));
    const QByteArray text = QJsonDocument(withoutChecksum).toJson(QJsonDocument::Compact);
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex());
}

bool matchesKey(const QJsonObject &workOrder, const QJsonObject &query, const QString &key)
{
    const QString wanted = query.value(key).toVariant().toString();
    return !wanted.isEmpty() && workOrder.value(key).toVariant().toString() == wanted;
}
} // namespace

void SimCloudState::setBaseUrl(const QString &baseUrl)
{
    QMutexLocker lock(&m_mutex);
    m_baseUrl = baseUrl;
}

SimCloudReply SimCloudState::handle(const SimCloudCall &call)
{
    QMutexLocker lock(&m_mutex);
    switch (call.requestId) {
    case Id::GetFactoryDefaults:
        return factoryDefaultsReply(call);
    case Id::GetWorkOrder:
        return workOrderReply(call);
    case Id::GetDeviceFactoryStatus:
        return deviceStatusReply(call);
    case Id::PutDeviceFactoryStepStatus:
        return putStepStatus(call);
    case Id::PutStabilityTestResult:
        return startStabilityRun(call);
    case Id::GetStabilityTestRun:
        return stabilityRunReply(call);
    case Id::GetFactorSetStatus:
        return calibrationRunReply(call);
    case Id::GetCalibrationCheckCriteria:
        return packageReply(SimCloudPackage::CalibrationCheckCriteria);
    case Id::GetFinalQcTemplates:
        return packageReply(SimCloudPackage::FinalQcTemplates);
    case Id::GetSyntheticShots:
        return packageReply(SimCloudPackage::SyntheticShots);
    default:
        break;
    }
    if (call.requestId >= 500 && call.requestId < 600)
        return receiveUpload(call);
    return storeResult(call);
}

void SimCloudState::setWorkOrder(const QString &serial, const QJsonObject &workOrder)
{
    QMutexLocker lock(&m_mutex);
    QJsonObject stored = workOrder;
    if (stored.value(QStringLiteral("checkSum")).toString().isEmpty())
        stored.insert(QStringLiteral("checkSum"), workOrderChecksum(workOrder));
    instrumentFor(serial).workOrder = stored;
}

QJsonObject SimCloudState::workOrder(const QString &serial) const
{
    QMutexLocker lock(&m_mutex);
    return m_instruments.value(serial).workOrder;
}

void SimCloudState::setFactoryDefaults(const QString &instrumentTypeCode,
                                       const QJsonObject &defaults)
{
    QMutexLocker lock(&m_mutex);
    m_defaults.insert(instrumentTypeCode, defaults);
}

void SimCloudState::markWorkOrderChanged(const QString &serial)
{
    QMutexLocker lock(&m_mutex);
    instrumentFor(serial).workOrderChanged = true;
}

void SimCloudState::markFactorySetupChanged(const QString &serial)
{
    QMutexLocker lock(&m_mutex);
    instrumentFor(serial).setupChanged = true;
}

void SimCloudState::invalidateStep(const QString &serial, int stepId)
{
    QMutexLocker lock(&m_mutex);
    Instrument &instrument = instrumentFor(serial);
    instrument.invalidatedStep = stepId;
    instrument.stepStatuses.insert(stepId, stepStatusDiscarded);
    for (auto it = instrument.stepStatuses.begin(); it != instrument.stepStatuses.end(); ++it) {
        if (it.key() > stepId)
            it.value() = stepStatusDiscarded;
    }
}

QList<QJsonObject> SimCloudState::receivedResults(const QString &serial, int requestId) const
{
    QMutexLocker lock(&m_mutex);
    return m_instruments.value(serial).results.value(requestId);
}

QMap<int, int> SimCloudState::stepStatuses(const QString &serial) const
{
    QMutexLocker lock(&m_mutex);
    return m_instruments.value(serial).stepStatuses;
}

SimCloudReply SimCloudState::workOrderReply(const SimCloudCall &call)
{
    const QString serial = call.pathValues.value(QStringLiteral("serial"));
    QJsonObject found = m_instruments.value(serial).workOrder;
    for (auto it = m_instruments.cbegin(); found.isEmpty() && it != m_instruments.cend(); ++it) {
        if (matchesKey(it->workOrder, call.input, QStringLiteral("tubeSerialNumber"))
            || matchesKey(it->workOrder, call.input, QStringLiteral("detectorSerialNumber")))
            found = it->workOrder;
    }
    if (found.isEmpty())
        return SimCloudReply::error(404,
                                    QStringLiteral("No work order for instrument %1").arg(serial));
    return SimCloudReply::json(QJsonArray{found});
}

SimCloudReply SimCloudState::factoryDefaultsReply(const SimCloudCall &call)
{
    const QString code = call.input.value(QStringLiteral("instrumentTypeCode")).toString();
    const QJsonObject defaults = m_defaults.value(code, m_defaults.value(QString()));
    if (defaults.isEmpty())
        return SimCloudReply::error(
            404, QStringLiteral("No factory defaults for instrument type '%1'").arg(code));
    return SimCloudReply::json(defaults);
}

SimCloudReply SimCloudState::deviceStatusReply(const SimCloudCall &call)
{
    const QJsonValue stepId = call.input.value(QStringLiteral("stepId"));
    if (!stepId.isDouble())
        return SimCloudReply::error(
            400, QStringLiteral("GetDeviceFactoryStatus needs a numeric \"stepId\""));
    Instrument &instrument = instrumentFor(call.pathValues.value(QStringLiteral("serial")));
    const QString checksum = call.input.value(QStringLiteral("workOrderCheckSum")).toString();
    return SimCloudReply::json(statusResponse(instrument, stepId.toInt(), checksum, true));
}

SimCloudReply SimCloudState::putStepStatus(const SimCloudCall &call)
{
    const QJsonObject body = call.input.value(QStringLiteral("body")).toObject();
    const QJsonValue stepId = body.value(QStringLiteral("stepId"));
    const QJsonValue status = body.value(QStringLiteral("status"));
    if (!stepId.isDouble() || !status.isDouble() || stepId.toInt() < 0
        || stepId.toInt() > lastFactoryStep)
        return SimCloudReply::error(400,
                                    QStringLiteral("PutDeviceFactoryStepStatus needs a \"body\" "
                                                   "object with \"stepId\" and \"status\""));
    Instrument &instrument = instrumentFor(call.pathValues.value(QStringLiteral("serial")));
    recordResult(call.pathValues.value(QStringLiteral("serial")), call);
    instrument.stepStatuses.insert(stepId.toInt(), status.toInt());
    if (stepId.toInt() == instrument.invalidatedStep)
        instrument.invalidatedStep = -1;
    return SimCloudReply::json(statusResponse(instrument, stepId.toInt(), QString(), false));
}

SimCloudReply SimCloudState::storeResult(const SimCloudCall &call)
{
    recordResult(call.pathValues.value(QStringLiteral("serial")), call);
    return SimCloudReply::json(
        QJsonObject{{QStringLiteral("status"), QStringLiteral("received")},
                    {QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces)}});
}

// The cloud's view of the device: the step it is at is the furthest one it has heard of, unless
// it has asked the device to go back to an invalidated step. The work order and setup flags are
// delivered once, by the next status query.
QJsonObject SimCloudState::statusResponse(Instrument &instrument, int requestStepId,
                                          const QString &checksum, bool deliverFlags) const
{
    const bool invalidated = instrument.invalidatedStep >= 0;
    int cloudStep = std::max(
        requestStepId, instrument.stepStatuses.isEmpty() ? 0 : instrument.stepStatuses.lastKey());
    if (invalidated)
        cloudStep = instrument.invalidatedStep;
    const QString currentChecksum =
        instrument.workOrder.value(QStringLiteral("checkSum")).toString();
    const bool checksumDiffers =
        !checksum.isEmpty() && !currentChecksum.isEmpty() && checksum != currentChecksum;
    QMap<int, int> statuses = instrument.stepStatuses;
    // An instrument ordered without a collimator has no collimated stability: the step counts as
    // done once the plain stability has passed.
    if (instrument.workOrder.value(QStringLiteral("isUnCollimated")).toBool()
        && statuses.value(stabilityStep) == stepStatusPassed
        && !statuses.contains(collimatedStabilityStep))
        statuses.insert(collimatedStabilityStep, stepStatusPassed);
    QJsonArray steps;
    for (auto it = statuses.cbegin(); it != statuses.cend(); ++it)
        steps.append(QJsonObject{{QStringLiteral("stepId"), it.key()},
                                 {QStringLiteral("statusId"), it.value()}});
    QJsonObject response{
        {QStringLiteral("stepId"), cloudStep},
        {QStringLiteral("hasWorkOrderChanged"), instrument.workOrderChanged || checksumDiffers},
        {QStringLiteral("hasFactorySetupFileChanged"), instrument.setupChanged},
        {QStringLiteral("hasFactoryStepInvalidated"), invalidated},
        {QStringLiteral("stepStatus"), steps},
        {QStringLiteral("workOrder"),
         instrument.workOrder.isEmpty() ? QJsonArray() : QJsonArray{instrument.workOrder}}};
    if (deliverFlags) {
        instrument.workOrderChanged = false;
        instrument.setupChanged = false;
    }
    return response;
}

SimCloudState::Instrument &SimCloudState::instrumentFor(const QString &serial)
{
    auto it = m_instruments.find(serial);
    if (it == m_instruments.end()) {
        if (m_instruments.size() >= kMaxInstruments) {
            auto oldest = m_instruments.begin();
            for (auto candidate = m_instruments.begin(); candidate != m_instruments.end();
                 ++candidate) {
                if (candidate->lastUse < oldest->lastUse)
                    oldest = candidate;
            }
            m_stabilityEvaluations.remove(oldest.key());
            m_instruments.erase(oldest);
        }
        it = m_instruments.insert(serial, Instrument());
    }
    it->lastUse = ++m_useClock;
    return *it;
}

void SimCloudState::recordResult(const QString &serial, const SimCloudCall &call)
{
    QList<QJsonObject> &results = instrumentFor(serial).results[call.requestId];
    results.append(call.input);
    while (results.size() > kMaxResultsPerRequest)
        results.removeFirst();
}
