// The factory line's final QC: after the calibration shots (the methods calibrated from their
// check samples while the line has no factor set) it passes and uploads, and its scenarios fail
// with their own texts.

#include "linerun.h"

#include <QtTest>

namespace {

const QString kThroughCalibration =
    "provisioning,hardwareSetup,cameraSetup,stability,collimatedStability,beamsSetup,airShot,"
    "prerequisiteShots,calibrationShot,finalQc";
const QString kThroughFactorSet =
    QString(kThroughCalibration).replace("finalQc", "factorSet,finalQc");

} // namespace

class TstFinalQcLine : public QObject
{
    Q_OBJECT

private slots:
    void finalQc_data();
    void finalQc();
};

void TstFinalQcLine::finalQc_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("scenarios");
    QTest::addColumn<QString>("expected");

    QTest::newRow("methods the cloud calibrated pass")
        << "HD" << kThroughFactorSet << QStringList()
        << "finalQc +PASSED .* 1 methods passed their check samples; Final QC data uploaded\\.";
    QTest::newRow("check sample out of tolerance")
        << "LT" << kThroughCalibration << QStringList{"finalqc-check-sample-out-of-tolerance"}
        << "finalQc +FAILED .* Final QC failed: alloy check sample out of tolerance: Fe "
           "[0-9.]+ against 0\\.706";
    QTest::newRow("templates missing")
        << "MP"
        << "provisioning,finalQc" << QStringList{"finalqc-templates-missing"}
        << "finalQc +FAILED .* Request to get final QC templates meta info failed OR returned "
           "expected response";
    QTest::newRow("no calibrated method") << "Harrier"
                                          << "provisioning,finalQc" << QStringList()
                                          << "finalQc +FAILED .* no calibrated method installed";
}

void TstFinalQcLine::finalQc()
{
    QFETCH(QString, model);
    QFETCH(QString, steps);
    QFETCH(QStringList, scenarios);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QStringList arguments = LineRun::lineArguments(dir.path(), steps);
    arguments << "--model" << model;
    for (const QString &scenario : scenarios)
        arguments << "--scenario" << scenario;
    const LineRun run = LineRun::run(QStringLiteral(XRF_FACTORY_BIN), arguments, 240000);
    QVERIFY2(run.out.contains(QRegularExpression(expected)), qPrintable(run.out));
    QCOMPARE(run.exitCode, expected.contains("PASSED") ? 0 : 1);
}

QTEST_GUILESS_MAIN(TstFinalQcLine)
#include "tst_finalqcline.moc"
