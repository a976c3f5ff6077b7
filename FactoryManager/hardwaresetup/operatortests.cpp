// The button and customer IO operator tests and the real-time clock check.
#include "xrffactorymanager_p.h"

#include "factoryutils.h"

#include "xrfhwbuttontestresult.h"
#include "xrfsettingsmanager.h"

#include <QDateTime>
#include <QDebug>
#include <QProcess>

#include <cstdlib>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kButtonsTest = QStringLiteral("instrumentButtonsTest");
const QString kCustomerIOTest = QStringLiteral("customerIOTest");
// A watchdog on the clock program, in process time: a loaded machine must not trip it.
constexpr int kHwClockTimeoutMs = 30000;
constexpr int kDefaultToleranceSeconds = 10;
constexpr int kSecondsPerDay = 24 * 60 * 60;

// Seconds between two times of day, the short way round midnight.
int timeOfDayDifference(const QTime &from, const QTime &to)
{
    int seconds = from.secsTo(to);
    if (seconds > kSecondsPerDay / 2)
        seconds -= kSecondsPerDay;
    else if (seconds < -kSecondsPerDay / 2)
        seconds += kSecondsPerDay;
    return seconds;
}

} // namespace

void Worker::doHardwareButtonsTest()
{
    qDebug() << "Starting buttons test.";
    setCurrentTaskStatus(tr("Starting RTC time test..."));
    setCurrentTaskProgress(-1);
    operatorTestPending.clear();
    beginHardwareSetupStep(kButtonsTest);
    qDebug() << "------ hardwareSetupCurrentStep id:" << hardwareSetupCurrentStep.stepId();

    const int tolerance = hardwareSetupCurrentStep.setupParams()
                              .value(QStringLiteral("rtcClockTimeDiffToleranceInSec"))
                              .toInt(kDefaultToleranceSeconds);
    if (!doTimeCheck(QDateTime::currentDateTimeUtc().time(), tolerance)) {
        setCurrentTaskProgress(100);
        onHardwareSetupStepComplete(false,
                                    tr("RTC not moving forward, try replacing digital board"));
        return;
    }
    qDebug() << "Starting doTimeCheck test.";
    setCurrentTaskProgress(50);
    setCurrentTaskStatus(tr("Starting instrument buttons test..."));
    setCurrentTaskProgress(100);
    operatorTestPending = kButtonsTest;
}

void Worker::doHardwareCustomerIOTest()
{
    operatorTestPending.clear();
    beginHardwareSetupStep(kCustomerIOTest);
    qDebug() << "------ hardwareSetupCurrentStep id:" << hardwareSetupCurrentStep.stepId();
    setCurrentTaskStatus(tr("Starting customer IO test..."));
    setCurrentTaskProgress(100);
    operatorTestPending = kCustomerIOTest;
}

bool Worker::doTimeCheck(QTime now, int toleranceSeconds)
{
    qDebug() << "Starting time check.";
    const QString command = XrfUtils::hwClockProgram();
    QProcess process;
    process.start(command, QStringList());
    const bool finished = process.waitForFinished(kHwClockTimeoutMs);
    if (!finished || process.exitStatus() != QProcess::NormalExit) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
        qWarning().noquote()
            << QStringLiteral("Failed to get hw clock, '%1' command did not execute.").arg(command);
        return false;
    }
    if (process.exitCode() != 0) {
        qWarning().noquote() << QStringLiteral(
                                    "Failed to get hw clock, '%1' command failed, exit code:%2")
                                    .arg(command)
                                    .arg(process.exitCode());
        return false;
    }
    qDebug() << "Hw clock get";
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    const QTime clock = FactoryUtils::hwClockTimeOfDay(output);
    const QString clockText = output.mid(11, 8);
    if (!clock.isValid()) {
        qWarning().noquote() << QStringLiteral("Failed to read the time from '%1' output: %2")
                                    .arg(command, output.trimmed());
        return false;
    }

    const int difference = timeOfDayDifference(now, clock);
    qDebug().noquote() << "\nHARDWARE CALL FOR TIME: "
                       << "\nParam time: " << now.toString(QStringLiteral("HH:mm:ss"))
                       << "\nPulled Time from HW Clock:" << clockText;
    qDebug().noquote() << "The difference in seconds is: " << difference
                       << " tolerance is: " << toleranceSeconds;
    if (std::abs(difference) <= toleranceSeconds) {
        qDebug() << "Passed Time check.";
        return true;
    }
    qWarning() << "Failed Time check.";
    qWarning().noquote() << "Time pulled from hardware clock: "
                         << clock.toString(QStringLiteral("HH:mm:ss"));
    qWarning().noquote() << "Time from QTime call: " << now.toString(QStringLiteral("HH:mm:ss"));
    return false;
}

void Worker::onHardwareSetupButtonTestComplete(const QJsonObject &result)
{
    XrfHwButtonTestResult parsed;
    QString error;
    if (!parsed.fromJsonObject(result, &error)) {
        qWarning() << "Malformed instrument buttons test result:" << error;
        return;
    }
    if (currentStepId != XrfUtils::HardwareSetup) {
        if (XrfSettingsManager::instance()->isTarvoHD())
            reportButtonTestOutsideHardwareSetup(result, parsed.status(), parsed.statusString());
        return;
    }
    if (userAbort)
        return;
    if (hardwareSetupCurrentStepId != kButtonsTest || operatorTestPending != kButtonsTest) {
        qWarning() << "Ignoring an instrument buttons test result: the test is not running";
        return;
    }
    operatorTestPending.clear();
    hardwareSetupCurrentStep.setResults(result);
    onHardwareSetupStepComplete(parsed.status(), parsed.statusString());
}

void Worker::onHardwareSetupCustomerIOTestComplete(const QJsonObject &result)
{
    if (userAbort)
        return;
    if (currentStepId != XrfUtils::HardwareSetup || hardwareSetupCurrentStepId != kCustomerIOTest
        || operatorTestPending != kCustomerIOTest) {
        qWarning() << "Ignoring a customer IO test result: the test is not running";
        return;
    }
    operatorTestPending.clear();
    hardwareSetupCurrentStep.setResults(result);
    onHardwareSetupStepComplete(result.value(QStringLiteral("status")).toBool(false),
                                result.value(QStringLiteral("statusString")).toString());
}

// The record of factory step 3 stands in for the current step's while the results file is
// assembled, so that the file carries step 3's times, status and sub-steps and goes to step 3's
// file, not to the current step's.
void Worker::reportButtonTestOutsideHardwareSetup(const QJsonObject &result, bool passed,
                                                  const QString &message)
{
    XrfFactoryStepInfo hardwareSetup;
    if (!loadFactoryStepFromLastResult(XrfUtils::HardwareSetup, &hardwareSetup, nullptr)) {
        hardwareSetup.setStepId(XrfUtils::HardwareSetup);
        hardwareSetup.setStepIdStr(
            XrfFactoryManager::factoryStepNameFromId(XrfUtils::HardwareSetup));
    }
    if (hardwareSetup.resultFile().isEmpty())
        hardwareSetup.setResultFile(
            hardwareSetupResultDirPath
            + QStringLiteral("hardwareSetup_%1_%2.json")
                  .arg(hardwareConfig.insSerialNumber(),
                       QDateTime::currentDateTime().toString(QStringLiteral("MM-dd-yyyy_hh:mm"))));
    XrfHardwareSetupStepsList steps;
    steps.fromJsonObject(hardwareSetup.resultToJsonObj());
    if (const XrfHardwareSetupStepInfo *stored = steps.getHardwareSetupStep(kButtonsTest))
        hardwareSetupSteps.setHardwareSetupStep(*stored);
    XrfHardwareSetupStepInfo step;
    if (const XrfHardwareSetupStepInfo *listed =
            hardwareSetupSteps.getHardwareSetupStep(kButtonsTest))
        step = *listed;
    step.setStepId(kButtonsTest);
    step.setResults(result);
    step.setIsDone(true);
    step.setHasFailed(!passed);
    step.setStatusMsg(message);
    step.setEndTime(XrfUtils::currentUtcIsoTime());
    step.setSessionId(hardwareSetup.sessionId());
    hardwareSetupSteps.setHardwareSetupStep(step);
    steps.setHardwareSetupStep(step);
    hardwareSetup.setResultFromJsonObj(steps.toJsonObject());
    QString error;
    if (!saveFactoryStepToLastResult(hardwareSetup, &error))
        qWarning() << "Failed to save the instrument buttons test result, err:" << error;

    const XrfFactoryStepInfo current = currentStepInfo;
    currentStepInfo = hardwareSetup;
    QJsonObject results;
    assembleHardwareSetupResultsJson(&results);
    currentStepInfo = current;
    sendHardwareSetupResults(results);
}

void XrfFactoryManager::onHardwareSetupButtonTestComplete(const QJsonObject &result)
{
    d->onHardwareSetupButtonTestComplete(result);
}

void XrfFactoryManager::onHardwareSetupCustomerIOTestComplete(const QJsonObject &result)
{
    d->onHardwareSetupCustomerIOTestComplete(result);
}
