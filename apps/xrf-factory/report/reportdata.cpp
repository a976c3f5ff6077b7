#include "reportdata.h"

#include "runlog.h"

#include "xrfutils.h"

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
