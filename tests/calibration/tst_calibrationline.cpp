// The factory line through the calibration shots: every model passes with its workspaces holding
// every shot, and each scenario of the step fails (or recovers) with its own text.

#include "xrfutils.h"

#include "linerun.h"

#include <QtTest>

namespace {

using Run = LineRun;

Run xrfFactory(const QStringList &arguments)
{
    return LineRun::run(QStringLiteral(XRF_FACTORY_BIN), arguments, 240000);
}

const QString kThroughAirShots =
    QStringLiteral("provisioning,hardwareSetup,cameraSetup,beamsSetup,airShot");

QStringList lineArguments(const QString &root, const QString &steps)
{
    return {"run", "--root", root, "--steps", steps, "--time-scale", "0.001"};
}

// The shots in the workspaces of a root, and the passed steps their steps files list.
void countWorkspaceShots(const QString &root, int *shots, int *passedSteps)
{
    *shots = 0;
    *passedSteps = 0;
    QDir methods(root + "/home/profile/instrumentsettings/methods");
    for (const QString &method : methods.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString workspace = methods.filePath(method) + "/calibrationworkspace";
        *shots += QDir(workspace + "/shots").entryList(QDir::Files).size();
        QJsonValue value;
        XrfUtils::readJsonFile(workspace + "/procedure/calibrationsteps.json", &value);
        for (const QJsonValue &step : value.toObject().value("steps").toArray())
            *passedSteps += step.toObject().value("status").toString() == "passed" ? 1 : 0;
    }
}

} // namespace

class TstCalibrationLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyModelPassesThroughTheCalibrationShots_data();
    void everyModelPassesThroughTheCalibrationShots();
    void scenariosEndWithTheirText_data();
    void scenariosEndWithTheirText();

private:
    QTemporaryDir m_dir;
    QString m_airShotRoot;
};

// An instrument through the air shots, copied for each scenario.
void TstCalibrationLine::initTestCase()
{
    m_airShotRoot = m_dir.path() + "/airShot";
    const Run run = xrfFactory(lineArguments(m_airShotRoot, kThroughAirShots));
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
}

void TstCalibrationLine::everyModelPassesThroughTheCalibrationShots_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("standard");
    for (const char *model : {"default", "LT", "MP", "HD", "Harrier"})
        QTest::newRow(model) << model << (QString(model) == "MP" ? "OR-CU" : "SS304");
}

void TstCalibrationLine::everyModelPassesThroughTheCalibrationShots()
{
    QFETCH(QString, model);
    QFETCH(QString, standard);
    const QString root = m_dir.path() + "/" + model;
    const Run run = xrfFactory(lineArguments(root, kThroughAirShots + ",calibrationShot")
                               << "--model" << model);
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    QVERIFY2(run.out.contains(QRegularExpression("\\n\\s+" + standard + "\\n\\s+beam 1 ")),
             qPrintable(run.out));
    int shots = 0;
    int passed = 0;
    countWorkspaceShots(root, &shots, &passed);
    QVERIFY(shots > 0);
    QCOMPARE(shots, passed);
}

void TstCalibrationLine::scenariosEndWithTheirText_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("text");
    QTest::newRow("wrong standard")
        << "wrong-calibration-standard" << 1
        << "SS304 failed 3 times: Shot Failed: SS304 beam 1 (40 kV) Error: Wrong "
           "sample: the spectrum of SS304 lacks the peaks of";
    QTest::newRow("cut short") << "calibration-shot-cut-short" << 1
                               << "Exposure did not run for the set time. Exposure Set Time:20, "
                                  "Time exposure ran for:4.";
    QTest::newRow("no counts") << "calibration-no-counts" << 1 << "No counts in the spectrum.";
    QTest::newRow("lid open") << "calibration-lid-open" << 0
                              << "(technician closes the test stand lid for the 50 kV shots)";
}

void TstCalibrationLine::scenariosEndWithTheirText()
{
    QFETCH(QString, scenario);
    QFETCH(int, exitCode);
    QFETCH(QString, text);
    const QString root = m_dir.path() + "/" + scenario;
    QString error;
    QVERIFY(XrfUtils::copyDirectory(m_airShotRoot, root, &error));
    const Run run = xrfFactory(lineArguments(root, "calibrationShot") << "--scenario" << scenario);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out));
    QVERIFY2(run.out.contains(text), qPrintable(run.out));
}

QTEST_GUILESS_MAIN(TstCalibrationLine)
#include "tst_calibrationline.moc"
