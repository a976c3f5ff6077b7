// The factory line through the beams setup and the air shots: every model passes, and every
// scenario of the two steps fails with its own text.

#include "xrfutils.h"

#include "linerun.h"

#include <QtTest>

namespace {

using Run = LineRun;

Run xrfFactory(const QStringList &arguments)
{
    return LineRun::run(QStringLiteral(XRF_FACTORY_BIN), arguments, 120000);
}

QStringList lineArguments(const QString &root, const QString &steps)
{
    return {"run", "--root", root, "--steps", steps, "--time-scale", "0.001"};
}

} // namespace

class TstShotsLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyModelPassesThroughTheAirShots_data();
    void everyModelPassesThroughTheAirShots();
    void scenariosFailWithTheirText_data();
    void scenariosFailWithTheirText();

private:
    QTemporaryDir m_dir;
    QString m_setUpRoot;
};

// An instrument through the camera setup, for the scenarios of the later steps to start from.
void TstShotsLine::initTestCase()
{
    m_setUpRoot = m_dir.path() + "/setUp";
    const Run run =
        xrfFactory(lineArguments(m_setUpRoot, "provisioning,hardwareSetup,cameraSetup"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
}

void TstShotsLine::everyModelPassesThroughTheAirShots_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("beams");
    QTest::addColumn<int>("airShots");
    QTest::newRow("default") << "default" << 3 << 5;
    QTest::newRow("LT") << "LT" << 2 << 2;
    QTest::newRow("MP") << "MP" << 3 << 5;
    QTest::newRow("HD") << "HD" << 3 << 5;
    QTest::newRow("Harrier") << "Harrier" << 3 << 5;
}

void TstShotsLine::everyModelPassesThroughTheAirShots()
{
    QFETCH(QString, model);
    QFETCH(int, beams);
    QFETCH(int, airShots);
    const QString root = m_dir.path() + "/" + model;
    const Run run =
        xrfFactory(lineArguments(root, "provisioning,hardwareSetup,cameraSetup,beamsSetup,airShot")
                   << "--model" << model);
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    // Each beam's target, current, count rate and shots; each air shot against its safe rate.
    QCOMPARE(run.out.count(QRegularExpression(
                 "target \\d+ cps: [\\d.]+ uA, ICR \\d+ cps, \\d iterations  passed")),
             beams);
    QCOMPARE(run.out.count(QRegularExpression(
                 "background [\\d.]+ cps, safe \\d+ cps \\(limit \\d+\\)  passed")),
             airShots);
    if (model == "HD") {
        QJsonValue stored;
        QVERIFY(XrfUtils::readJsonFile(root + "/home/factoryData/lastResult.json", &stored));
        const QJsonObject result =
            stored.toObject().value("beamsSetup").toObject().value("result").toObject();
        QCOMPARE(result.value("tarvoHDLidTest").toObject().value("completed").toBool(), true);
        QCOMPARE(result.value("tarvoHDButtonTest").toObject().value("completed").toBool(), true);
    }
}

void TstShotsLine::scenariosFailWithTheirText_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("text");
    QTest::newRow("wrong sample") << "wrong-beam-sample" << 1
                                  << "Beam setup failed for: alloyMain Error: Validation failed";
    QTest::newRow("weak tube") << "weak-tube" << 1
                               << "2500cps tolerance of 30000cps targetIcrDim value despite "
                                  "current being at 100uA.";
    QTest::newRow("over-emitting tube")
        << "over-emitting-tube" << 1
        << "900cps tolerance of 18000cps target value despite current being at 5uA";
    QTest::newRow("interlock during a beam")
        << "beam-interlock" << 1 << "End condition: Exposure ended: safety interlock opened";
    QTest::newRow("contaminated window")
        << "contaminated-window" << 1 << "failed, SafeBackGroundRate validation failed.";
    QTest::newRow("lost records")
        << "air-shot-record-lost" << 0
        << "Air Shot/Beam Setup is missing.  Auto recovery was performed.";
}

void TstShotsLine::scenariosFailWithTheirText()
{
    QFETCH(QString, scenario);
    QFETCH(int, exitCode);
    QFETCH(QString, text);
    const QString root = m_dir.path() + "/" + scenario;
    QVERIFY(XrfUtils::copyDirectory(m_setUpRoot, root));
    const Run run =
        xrfFactory(lineArguments(root, "beamsSetup,airShot") << "--scenario" << scenario);
    QVERIFY2(run.out.contains(text), qPrintable(run.out));
    QCOMPARE(run.exitCode, exitCode);
}

QTEST_GUILESS_MAIN(TstShotsLine)
#include "tst_shotsline.moc"
