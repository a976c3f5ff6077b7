#include "reportdata.h"

#include "runlog.h"

#include "xrfmethod.h"
#include "xrfutils.h"

#include <QDir>

#include <QFileInfo>

ReportData ReportData::load(const QString &root)
{
    ReportData data;
    data.root = QFileInfo(root).absoluteFilePath();
    XrfUtils::setInstrumentRoot(data.root);
    data.state = FactoryState::read();
    data.problems = data.state.problems;
    QJsonValue lastResult;
    XrfUtils::readJsonFile(XrfUtils::homeCorvaneAppDirPath()
                               + QStringLiteral("/factoryData/lastResult.json"),
                           &lastResult);
    data.lastResult = lastResult.toObject();
    QString error;
    RunLog::read(data.root, &data.runLog, &error);
    return data;
}

QJsonObject hardwareSubStepResults(const QJsonObject &lastResult, const QString &stepId)
{
    const QJsonArray steps = lastResult.value(QStringLiteral("hardwareSetup"))
                                 .toObject()
                                 .value(QStringLiteral("result"))
                                 .toObject()
                                 .value(QStringLiteral("hardwareSetupSteps"))
                                 .toArray();
    for (const QJsonValue &step : steps) {
        if (step.toObject().value(QStringLiteral("stepId")).toString() == stepId)
            return step.toObject().value(QStringLiteral("results")).toObject();
    }
    return QJsonObject();
}

QJsonObject ReportData::hardwareSubStep(const QString &stepId) const
{
    return hardwareSubStepResults(lastResult, stepId);
}

QJsonObject ReportData::lineStep(const QString &step) const
{
    for (const QJsonValue &entry : runLog.value(QStringLiteral("steps")).toArray()) {
        if (entry.toObject().value(QStringLiteral("step")).toString() == step)
            return entry.toObject();
    }
    return QJsonObject();
}

QVector<double> numbers(const QJsonArray &array)
{
    QVector<double> values;
    values.reserve(array.size());
    for (const QJsonValue &value : array)
        values << value.toDouble(qQNaN());
    return values;
}

namespace {

QJsonObject readObject(const QString &path)
{
    QJsonValue value;
    if (!QFileInfo::exists(path) || !XrfUtils::readJsonFile(path, &value))
        return QJsonObject();
    return value.toObject();
}

} // namespace

QList<InstalledCalibration> installedCalibrations(const QString &root)
{
    const QString profile = root + QStringLiteral("/home/profile");
    QStringList ids =
        QDir(XrfMethod::methodsFolder(profile)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ids.sort();
    QList<InstalledCalibration> methods;
    for (const QString &id : qAsConst(ids)) {
        if (!XrfMethod::isValidMethodId(id))
            continue;
        methods << InstalledCalibration{
            id,
            readObject(XrfMethod::methodFilePath(profile, id))
                .value(QStringLiteral("calibration"))
                .toObject(),
            readObject(
                XrfMethod::methodFolder(profile, id)
                + QStringLiteral("/calibrationworkspace/calibrationsummary/qcSummary.json"))};
    }
    return methods;
}
