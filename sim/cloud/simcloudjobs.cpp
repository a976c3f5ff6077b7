#include "simcloudstate.h"

#include "simcloudroutes.h"
#include "simfactorsetfit.h"
#include "xrfnetworkmanager.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>

// Received and published files, stability evaluations and method calibration runs.

namespace {
using Id = XrfNetworkManager::CloudRequestIds;

constexpr int stabilityProcessing = 1;
constexpr int stabilityProcessed = 3;
constexpr int runReadyForDownload = 4;

QString md5Hex(const QByteArray &content)
{
    return QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
}

QString describedName(const SimCloudCall &call)
{
    for (const char *key : {"name", "fileName", "spectrumFileName", "zipFileName"}) {
        const QString name = call.input.value(QLatin1String(key)).toString();
        if (!name.isEmpty())
            return name;
    }
    if (!call.fileName.isEmpty())
        return call.fileName;
    return QFileInfo(call.input.value(QStringLiteral("filePath")).toString()).fileName();
}

// A file description that contradicts the received content, or an empty text.
QString contentMismatch(const SimCloudCall &call, const QString &name, const QString &md5)
{
    const QString checksum = call.input.value(QStringLiteral("checksum")).toString();
    if (!checksum.isEmpty() && checksum.compare(md5, Qt::CaseInsensitive) != 0)
        return QStringLiteral("Checksum mismatch for %1: described %2, received %3")
            .arg(name, checksum, md5);
    const QJsonValue size = call.input.value(QStringLiteral("size"));
    const qint64 described =
        size.isString() ? size.toString().toLongLong() : qint64(size.toDouble(-1));
    if (!size.isUndefined() && described != call.content.size())
        return QStringLiteral("Size mismatch for %1: described %2 bytes, received %3")
            .arg(name)
            .arg(described)
            .arg(call.content.size());
    return QString();
}
} // namespace

QString SimCloudState::publishFile(const QString &name, const QByteArray &content)
{
    QMutexLocker lock(&m_mutex);
    SimCloudFile info;
    info.name = name;
    return fileUrl(storeFile(info, content));
}

void SimCloudState::setPackage(SimCloudPackage package, const QString &name,
                               const QByteArray &content)
{
    QMutexLocker lock(&m_mutex);
    if (content.isEmpty()) {
        m_packages.remove(int(package));
        return;
    }
    SimCloudFile info;
    info.name = name;
    m_packages.insert(int(package), storeFile(info, content));
}

void SimCloudState::setStabilityEvaluation(int pollsInProgress,
                                           const QJsonValue &testResultStatusId)
{
    QMutexLocker lock(&m_mutex);
    m_stabilityPolls = std::max(0, pollsInProgress);
    m_stabilityVerdict = testResultStatusId;
}

void SimCloudState::setStabilityLimits(const SimStabilityLimits &limits)
{
    QMutexLocker lock(&m_mutex);
    m_stabilityLimits = limits;
}

QList<SimStabilityEvaluation> SimCloudState::stabilityEvaluations(const QString &serial) const
{
    QMutexLocker lock(&m_mutex);
    return m_stabilityEvaluations.value(serial);
}

void SimCloudState::setCalibrationRunOutcome(int finalRunStatusId, int pollsBeforeFinal)
{
    QMutexLocker lock(&m_mutex);
    m_runFinalStatus = finalRunStatusId;
    m_runPollsBeforeFinal = std::max(0, pollsBeforeFinal);
}

QList<SimCloudFile> SimCloudState::uploadedFiles(const QString &serial) const
{
    QMutexLocker lock(&m_mutex);
    QList<SimCloudFile> files;
    for (const StoredFile &file : m_files) {
        if (file.info.requestId != 0 && file.info.serial == serial)
            files.append(file.info);
    }
    return files;
}

QByteArray SimCloudState::fileContent(const QString &fileId) const
{
    QMutexLocker lock(&m_mutex);
    return m_files.value(fileId).content;
}

SimCloudReply SimCloudState::serveFile(const QString &fileId) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_files.constFind(fileId);
    if (it == m_files.cend())
        return SimCloudReply::error(404, QStringLiteral("No file with id %1").arg(fileId));
    return SimCloudReply::binary(it->content);
}

QString SimCloudState::storeFile(SimCloudFile info, const QByteArray &content)
{
    info.id = QString::number(m_nextFileId++);
    info.size = content.size();
    info.md5 = md5Hex(content);
    m_files.insert(info.id, StoredFile{info, content});
    m_storedFileBytes += content.size();
    forgetOldFiles();
    return info.id;
}

// Uploads are kept for the tests and the line to look at, up to a bound: past it the oldest
// uploads go (published packages stay).
void SimCloudState::forgetOldFiles()
{
    if (m_storedFileBytes <= kMaxStoredFileBytes)
        return;
    QList<int> uploads;
    for (const StoredFile &file : qAsConst(m_files)) {
        if (file.info.requestId != 0)
            uploads.append(file.info.id.toInt());
    }
    std::sort(uploads.begin(), uploads.end());
    for (int id : qAsConst(uploads)) {
        if (m_storedFileBytes <= kMaxStoredFileBytes)
            break;
        m_storedFileBytes -= m_files.take(QString::number(id)).content.size();
    }
}

QString SimCloudState::fileUrl(const QString &fileId) const
{
    return m_baseUrl
        + QString::fromLatin1(SimCloudRoutes::filePath).replace(QStringLiteral("{fileId}"), fileId);
}

SimCloudReply SimCloudState::packageReply(SimCloudPackage package)
{
    const auto it = m_files.constFind(m_packages.value(int(package)));
    if (it == m_files.cend())
        return SimCloudReply::error(404, QStringLiteral("Nothing is published for download yet"));
    return SimCloudReply::json(QJsonObject{{QStringLiteral("downloadUrl"), fileUrl(it->info.id)},
                                           {QStringLiteral("name"), it->info.name},
                                           {QStringLiteral("downloadFileName"), it->info.name},
                                           {QStringLiteral("size"), it->info.size},
                                           {QStringLiteral("checksum"), it->info.md5}});
}

QString SimCloudState::uploadSerial(const SimCloudCall &call) const
{
    QString serial = call.pathValues.value(QStringLiteral("serial"));
    if (serial.isEmpty())
        serial = call.input.value(QStringLiteral("serial")).toString();
    const int runId = call.pathValues.value(QStringLiteral("spectrumUploadId")).toInt();
    for (auto it = m_stabilityRuns.cbegin(); serial.isEmpty() && it != m_stabilityRuns.cend();
         ++it) {
        if (it->runId == runId)
            serial = it->serial;
    }
    return serial;
}

SimCloudReply SimCloudState::receiveUpload(const SimCloudCall &call)
{
    if (call.content.isEmpty())
        return SimCloudReply::error(400, QStringLiteral("Upload without file content"));
    SimCloudFile info;
    info.serial = uploadSerial(call);
    info.requestId = call.requestId;
    info.name = describedName(call);
    info.meta = call.input;
    const QString mismatch = contentMismatch(call, info.name, md5Hex(call.content));
    if (!mismatch.isEmpty())
        return SimCloudReply::error(400, mismatch);
    const QString fileId = storeFile(info, call.content);
    const SimCloudFile &stored = m_files[fileId].info;
    if (call.requestId == Id::UploadFactorSetMethod)
        return startCalibrationRun(call, stored);
    return SimCloudReply::json(QJsonObject{{QStringLiteral("id"), fileId},
                                           {QStringLiteral("name"), stored.name},
                                           {QStringLiteral("size"), stored.size},
                                           {QStringLiteral("checksum"), stored.md5}});
}

SimCloudReply SimCloudState::startStabilityRun(const SimCloudCall &call)
{
    if (!call.input.value(QStringLiteral("body")).isObject())
        return SimCloudReply::error(400,
                                    QStringLiteral("Stability result needs a \"body\" object"));
    const QString serial = call.pathValues.value(QStringLiteral("serial"));
    recordResult(serial, call);
    const QString guid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    StabilityRun run{serial, m_stabilityPolls, m_stabilityVerdict, m_nextStabilityRunId++, {}};
    run.evaluation = evaluateStabilitySummary(call.input.value(QStringLiteral("body")).toObject(),
                                              m_stabilityLimits);
    if (run.verdict.isUndefined())
        run.verdict = run.evaluation.passed ? 4 : 5;
    QList<SimStabilityEvaluation> &evaluations = m_stabilityEvaluations[serial];
    evaluations.append(run.evaluation);
    while (evaluations.size() > kMaxResultsPerRequest)
        evaluations.removeFirst();
    m_stabilityRuns.insert(guid, run);
    return SimCloudReply::json(QJsonObject{{QStringLiteral("stabilityResultGuid"), guid}});
}

SimCloudReply SimCloudState::stabilityRunReply(const SimCloudCall &call)
{
    const QString guid = call.pathValues.value(QStringLiteral("testQueryGuid"));
    auto it = m_stabilityRuns.find(guid);
    if (it == m_stabilityRuns.end())
        return SimCloudReply::error(404, QStringLiteral("No stability run %1").arg(guid));
    if (it->pollsLeft > 0) {
        --it->pollsLeft;
        return SimCloudReply::json(QJsonObject{
            {QStringLiteral("stabilityTestRunProcessingStatusId"), stabilityProcessing}});
    }
    return SimCloudReply::json(
        QJsonObject{{QStringLiteral("stabilityTestRunProcessingStatusId"), stabilityProcessed},
                    {QStringLiteral("testResultStatusId"), it->verdict},
                    {QStringLiteral("stabilityTestRunId"), QString::number(it->runId)},
                    {QStringLiteral("gainOffsetCorrection"), it->evaluation.gainOffsetCorrection},
                    {QStringLiteral("gainSlopeCorrection"), it->evaluation.gainSlopeCorrection},
                    {QStringLiteral("temperatureAtCal"), it->evaluation.temperatureAtCal},
                    {QStringLiteral("evaluation"), it->evaluation.toJson()}});
}

// The cloud computes the run's outcome when the workspace arrives (the factor set or the QC
// summary of the method) and reveals it over the polls.
SimCloudReply SimCloudState::startCalibrationRun(const SimCloudCall &call,
                                                 const SimCloudFile &input)
{
    CalibrationRun run;
    run.id = m_nextRunId++;
    run.serial = input.serial;
    run.methodId = call.pathValues.value(QStringLiteral("methodId"));
    run.runKind = call.pathValues.value(QStringLiteral("runKind"));
    run.inputFileId = input.id;
    computeCalibrationRun(&run);
    m_runs.insert(run.id, run);
    return SimCloudReply::json(QJsonObject{{QStringLiteral("id"), run.id},
                                           {QStringLiteral("runStatusId"), 1},
                                           {QStringLiteral("methodId"), run.methodId},
                                           {QStringLiteral("runKind"), run.runKind}});
}

// Each poll moves a run one status on (2 processing, 3 processed) until its outcome is reached:
// the one a scenario set, else the computed one.
SimCloudReply SimCloudState::calibrationRunReply(const SimCloudCall &call)
{
    const int runId = call.pathValues.value(QStringLiteral("statusRequestId")).toInt();
    auto it = m_runs.find(runId);
    if (it == m_runs.end())
        return SimCloudReply::error(404, QStringLiteral("No calibration run %1").arg(runId));
    ++it->polls;
    const int outcome = m_runFinalStatus != 0 ? m_runFinalStatus : it->finalStatus;
    const int status = it->polls > m_runPollsBeforeFinal ? outcome : std::min(1 + it->polls, 3);
    QJsonObject reply{{QStringLiteral("id"), it->id},
                      {QStringLiteral("runStatusId"), status},
                      {QStringLiteral("methodId"), it->methodId},
                      {QStringLiteral("runKind"), it->runKind}};
    if (status == runReadyForDownload) {
        if (it->outputFileId.isEmpty())
            it->outputFileId =
                storeFile(runOutputFile(*it), m_files.value(it->inputFileId).content);
        reply.insert(QStringLiteral("zipOutputUrl"), fileUrl(it->outputFileId));
    } else if (status > runReadyForDownload) {
        reply.insert(QStringLiteral("message"),
                     it->message.isEmpty()
                         ? QStringLiteral("Run %1 ended with status %2 (set by the "
                                          "scenario)")
                               .arg(it->id)
                               .arg(status)
                         : it->message);
    }
    return SimCloudReply::json(reply);
}

// A run's output counts as a transfer, so that the cloud's bound on kept files covers it.
SimCloudFile SimCloudState::runOutputFile(const CalibrationRun &run)
{
    SimCloudFile output;
    output.requestId = Id::DownloadFactorSetResult;
    output.name = run.serial + run.methodId
        + (run.runKind == QLatin1String("QCSummary") ? QStringLiteral("_qcSummary.zip")
                                                     : QStringLiteral("_calibrated.zip"));
    return output;
}

void SimCloudState::computeCalibrationRun(CalibrationRun *run)
{
    QByteArray output;
    const SimFactorSetFit::RunOutcome outcome = SimFactorSetFit::processMethodArchive(
        m_files.value(run->inputFileId).content, run->methodId,
        run->runKind == QLatin1String("QCSummary"), run->id, &output);
    run->finalStatus = outcome.runStatusId;
    run->message = outcome.message;
    if (outcome.runStatusId == runReadyForDownload)
        run->outputFileId = storeFile(runOutputFile(*run), output);
}
