// Collimator ratio setup: pairs from the controller's filter table, ratios against the limits,
// stored results, and shots on the simulated instrument.

#include "../overrides/substeprunner.h"
#include "factorytestenv.h"
#include "logcapture.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simpresets.h"
#include "simscenarios.h"
#include "simstate.h"
#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

using FilterTable = QVector<xrf_hal::FilterParams>;
Q_DECLARE_METATYPE(FilterTable)

namespace {

const QString kStep = QStringLiteral("collimatorRatioSetup");

SimInstrument &instrument()
{
    return FactoryTestEnv::get().instrument();
}

SubStepRunner::Worker *worker()
{
    return FactoryTestEnv::get().worker();
}

FilterTable readTable()
{
    unsigned char max = 0;
    xrf_hal::XrfEngine::instance()->getMaxFilterPosition(&max);
    FilterTable table(max + 1);
    xrf_hal::XrfEngine::instance()->getFilterData(table.data(), (unsigned char)table.size());
    return table;
}

void writeTable(const FilterTable &table)
{
    QCOMPARE(xrf_hal::XrfEngine::instance()->setFilterData(table.constData(),
                                                           (unsigned char)table.size()),
             0);
}

QJsonObject exposure(int ua)
{
    return {{"tubeVoltageKv", 40}, {"tubeCurrentUa", ua},  {"maxTime", 10},
            {"backgroundRate", 0}, {"useLiveTime", false}, {"enabled", true}};
}

QJsonObject params(double min, double max)
{
    return {{"filterExposureMap", QJsonObject{{"13-2000", "exposureThick"}}},
            {"exposures",
             QJsonObject{{"exposureDefault", exposure(20)}, {"exposureThick", exposure(60)}}},
            {"unCollimatedToCollimatedRatioMin", min},
            {"unCollimatedToCollimatedRatioMax", max}};
}

XrfFilterPair pair(int z, int thickness, double unCollimatedIcr, double collimatedIcr,
                   double ratio = 0)
{
    XrfFilterPair p;
    p.setMaterialAtomicNumber(z);
    p.setThickness(thickness);
    p.setUnCollimatedPosition(4);
    p.setCollimatedPosition(9);
    p.setUnCollimatedIcr(unCollimatedIcr);
    p.setCollimatedIcr(collimatedIcr);
    p.setUnCollimatedToCollimatedIcrRatio(ratio);
    return p;
}

QJsonObject storedPairsSetting()
{
    QJsonObject stored;
    XrfSettingsManager::instance()->getUniversalSetting("hardware.filterPairs", &stored);
    return stored;
}

} // namespace

class TstCollimator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void ratiosAgainstTheLimits_data();
    void ratiosAgainstTheLimits();
    void pairsFromTheFilterTable_data();
    void pairsFromTheFilterTable();
    void filterTableReadFailure();
    void storedRatiosShootNothing();
    void simulatedRatiosPass();
    void wrongCollimatorBoreFails();
    void failedExposureKeepsThePairs();
    void shotsThatDoNotRun_data();
    void shotsThatDoNotRun();
    void wheelWithoutPairsPasses();

private:
    std::unique_ptr<LogCapture> m_log;
    FilterTable m_table;
};

void TstCollimator::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    QTRY_VERIFY(FactoryTestEnv::get().onFactoryThread(
        [] { return !worker()->hardwareConfig.filters().isEmpty(); }));
    m_table = readTable();
    // The filter scan would have found the wheel's offset from the drawing.
    FilterTable aligned = m_table;
    for (xrf_hal::FilterParams &filter : aligned)
        filter.encoder += instrument().preset().wheelUnitShiftTicks;
    writeTable(aligned);
    m_table = aligned;
}

void TstCollimator::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstCollimator::init()
{
    instrument().faults().clear();
    m_log->clear();
}

void TstCollimator::cleanup()
{
    writeTable(m_table);
}

void TstCollimator::ratiosAgainstTheLimits_data()
{
    QTest::addColumn<double>("unCollimated");
    QTest::addColumn<double>("collimated");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("passes");

    QTest::newRow("3.00 inside") << 3000.0 << 1000.0 << "13-2000: 3.00 PASSED\n" << true;
    QTest::newRow("3.50 at the maximum") << 3500.0 << 1000.0 << "13-2000: 3.50 PASSED\n" << true;
    QTest::newRow("3.51 above") << 3510.0 << 1000.0 << "13-2000: 3.51 FAILED\n" << false;
    QTest::newRow("2.49 below") << 2490.0 << 1000.0 << "13-2000: 2.49 FAILED\n" << false;
    QTest::newRow("no collimated rate") << 3000.0 << 0.0 << "13-2000: 0.00 FAILED\n" << false;
}

void TstCollimator::ratiosAgainstTheLimits()
{
    QFETCH(double, unCollimated);
    QFETCH(double, collimated);
    QFETCH(QString, line);
    QFETCH(bool, passes);
    QString report;
    XrfFilterPairsList pairs;
    const bool passed = FactoryTestEnv::get().onFactoryThread([&] {
        worker()->filterPairs.clear();
        worker()->filterPairs.setFilterPair(pair(13, 2000, unCollimated, collimated, 9.9));
        worker()->unCollimatedToCollimatedRatioMin = 2.5;
        worker()->unCollimatedToCollimatedRatioMax = 3.5;
        const bool ok = worker()->evaluateCollimatorRatios(&report);
        pairs = worker()->filterPairs;
        return ok;
    });
    QCOMPARE(passed, passes);
    QCOMPARE(report, QStringLiteral("Acceptable: 2.50 - 3.50\n") + line);
    // A pair that failed keeps no ratio, not even the one it came with.
    const double ratio = pairs.getFilterPair(13, 2000)->unCollimatedToCollimatedIcrRatio();
    QCOMPARE(ratio, passes ? unCollimated / collimated : 0.0);
}

void TstCollimator::pairsFromTheFilterTable_data()
{
    QTest::addColumn<FilterTable>("table");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<int>("unCollimatedPos");
    QTest::addColumn<int>("collimatedPos");

    const FilterTable base{{250, 0, 0, 2718}, {570, 13, 2000, 2718}, {890, 13, 2000, 482}};
    QTest::newRow("open first") << base << QStringList{"13-2000"} << 1 << 2;
    FilterTable reversed = base;
    std::swap(reversed[1], reversed[2]);
    QTest::newRow("collimated first") << reversed << QStringList{"13-2000"} << 2 << 1;
    FilterTable twoOpen = base;
    twoOpen[2].diameterInMicrons = 2718;
    QTest::newRow("two open holes make no pair") << twoOpen << QStringList() << -1 << -1;
    FilterTable thirdHole = base;
    thirdHole.append({1210, 13, 2000, 482});
    QTest::newRow("a third hole joins no pair") << thirdHole << QStringList{"13-2000"} << 1 << 2;
    FilterTable otherBore = base;
    otherBore[2].diameterInMicrons = 1000;
    QTest::newRow("another bore") << otherBore << QStringList() << -1 << -1;
}

void TstCollimator::pairsFromTheFilterTable()
{
    QFETCH(FilterTable, table);
    QFETCH(QStringList, ids);
    QFETCH(int, unCollimatedPos);
    QFETCH(int, collimatedPos);
    // The rest of the wheel holds positions that pair with nothing.
    FilterTable full = table;
    while (full.size() < m_table.size())
        full.append({ushort(2000 + 10 * full.size()), 74, ushort(1000 + full.size()), 2718});
    writeTable(full);
    XrfFilterPairsList pairs;
    QString error;
    QVERIFY(FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->buildFilterPairsFromK60(&pairs, &error); }));
    QStringList found;
    for (const XrfFilterPair &p : pairs.list())
        found << p.pairId();
    QCOMPARE(found, ids);
    if (ids.isEmpty())
        return;
    const XrfFilterPair p = pairs.list().first();
    QCOMPARE(p.unCollimatedPosition(), unCollimatedPos);
    QCOMPARE(p.collimatedPosition(), collimatedPos);
    QCOMPARE(p.unCollimatedEncoder(), int(full.at(unCollimatedPos).encoder));
    QCOMPARE(p.collimatedEncoder(), int(full.at(collimatedPos).encoder));
    const QJsonObject json = pairs.toJsonObject().value("13-2000").toObject();
    QCOMPARE(json.value("materialAtomicNumber").toInt(), 13);
    QCOMPARE(json.value("thickness").toInt(), 2000);
    QCOMPARE(json.value("unCollimatedPos").toInt(), unCollimatedPos);
}

void TstCollimator::filterTableReadFailure()
{
    instrument().faults().failOperation("getFilterData", xrf_hal::EngineTimeout);
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(kStep, params(2.5, 3.5));
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(),
             QStringLiteral("Collimator ratio setup failed to find filter pairs, "
                            "error: K60 failed to read the filter table, err:-7"));
}

void TstCollimator::storedRatiosShootNothing()
{
    XrfFilterPairsList stored;
    stored.setFilterPair(pair(13, 2000, 3000, 1000, 2.2));
    stored.setFilterPair(pair(22, 25, 6000, 2000, 3.3));
    const int shotsBefore = instrument().faults().operationCalls("startExposure");
    const XrfHardwareSetupStepInfo step =
        SubStepRunner::run(kStep, params(2.5, 3.5), {{"filterPairs", stored.toJsonObject()}});
    QVERIFY(!step.hasFailed());
    QCOMPARE(instrument().faults().operationCalls("startExposure"), shotsBefore);
    QCOMPARE(step.statusMsg(),
             QStringLiteral("Acceptable: 2.50 - 3.50\n13-2000: 3.00 PASSED\n"
                            "22-25: 3.00 PASSED\n"));
    QVERIFY(m_log->contains("Skipped shots for pair-id:13-2000, unCollimatedIcr:3000, "
                            "collimatedIcr:1000"));
    const QJsonObject setting = storedPairsSetting();
    QCOMPARE(
        setting.value("13-2000").toObject().value("unCollimatedToCollimatedIcrRatio").toDouble(),
        3.0);
    QCOMPARE(step.results().value("filterPairs").toObject(), setting);
}

void TstCollimator::simulatedRatiosPass()
{
    const int shotsBefore = instrument().faults().operationCalls("startExposure");
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(kStep, params(2.5, 3.5));
    QVERIFY2(!step.hasFailed(), qPrintable(step.statusMsg()));
    QCOMPARE(instrument().faults().operationCalls("startExposure") - shotsBefore, 6);
    const QJsonObject setting = storedPairsSetting();
    QCOMPARE(setting.keys(), QStringList({"13-100", "13-2000", "22-25"}));
    for (const QJsonValue &value : setting) {
        const QJsonObject p = value.toObject();
        QVERIFY(p.value("collimatedIcr").toDouble() > 0);
        QVERIFY(p.value("unCollimatedToCollimatedIcrRatio").toDouble() >= 2.5);
    }
}

void TstCollimator::wrongCollimatorBoreFails()
{
    QVERIFY(SimScenarios::apply("collimator-out-of-ratio", instrument()));
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(kStep, params(2.5, 3.5));
    {
        const auto lock = instrument().state().lock();
        instrument().state().wheel().reboreHoles(700, 482);
    }
    QVERIFY(step.hasFailed());
    QVERIFY(step.statusMsg().startsWith("Acceptable: 2.50 - 3.50\n"));
    QVERIFY(step.statusMsg().contains(" FAILED\n"));
    // The failed pairs are shot again next time: they keep their rates but no ratio.
    const QJsonObject stored = step.results().value("filterPairs").toObject();
    QCOMPARE(
        stored.value("13-2000").toObject().value("unCollimatedToCollimatedIcrRatio").toDouble(),
        0.0);
    QVERIFY(stored.value("13-2000").toObject().value("collimatedIcr").toDouble() > 0);
}

void TstCollimator::failedExposureKeepsThePairs()
{
    instrument().faults().endExposureAfter(0, XrfHardwareManager::EndInterlockOpened, false, 1);
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(kStep, params(2.5, 3.5));
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(),
             QStringLiteral("Exposure failed, err:%1")
                 .arg(XrfHardwareManager::exposureEndConditionToString(
                     XrfHardwareManager::EndInterlockOpened)));
    QCOMPARE(step.results().value("filterPairs").toObject().keys(),
             QStringList({"13-100", "13-2000", "22-25"}));
}

void TstCollimator::shotsThatDoNotRun_data()
{
    QTest::addColumn<bool>("abort");
    QTest::addColumn<QString>("message");
    QTest::newRow("aborted") << true << "collimator ratio setup aborted by the user";
    QTest::newRow("refused") << false << "Failed to start exposure, err:-3";
}

void TstCollimator::shotsThatDoNotRun()
{
    QFETCH(bool, abort);
    QFETCH(QString, message);
    if (!abort)
        instrument().faults().failOperation("startExposure", xrf_hal::EngineBusy);
    SubStepRunner::prepare(kStep, params(2.5, 3.5));
    FactoryTestEnv::get().onFactoryThread([&] {
        worker()->userAbort = abort;
        worker()->doCollimatorRatioSetup();
        worker()->userAbort = false;
    });
    const XrfHardwareSetupStepInfo step = SubStepRunner::step(kStep);
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), message);
}

void TstCollimator::wheelWithoutPairsPasses()
{
    FilterTable unpaired = m_table;
    for (xrf_hal::FilterParams &filter : unpaired)
        filter.diameterInMicrons = 2718;
    writeTable(unpaired);
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(kStep, params(2.5, 3.5));
    QVERIFY(!step.hasFailed());
    QCOMPARE(step.statusMsg(), QStringLiteral("Acceptable: 2.50 - 3.50\n"));
    QVERIFY(m_log->contains("No uncollimated/collimated filter pairs found for the filter."));
    QCOMPARE(storedPairsSetting(), QJsonObject());
}

QTEST_GUILESS_MAIN(TstCollimator)
#include "tst_collimator.moc"
