// The search rules of the reset width and PIN detector calibrations, on their own.
#include "detectorcalibration.h"

#include <QtTest>

using namespace DetectorCalibration;

class TstDetectorCalibration : public QObject
{
    Q_OBJECT

private slots:
    void resetHeightRangeIncludesItsBounds();
    void resetWidthStepTable_data();
    void resetWidthStepTable();
    void resetWidthMovesTowardsTheTargetInsideTheDac();
    void delayFactorDoublesAtMostTwice();
    void adcWindowCountsBinsAboveTheFloor_data();
    void adcWindowCountsBinsAboveTheFloor();
    void fetPhaseSteps_data();
    void fetPhaseSteps();
    void saturatedFetWidensTheReset();
    void widthPhaseIsStickyAndMovesOnlyTheWidth();
    void widthPhaseRules_data();
    void widthPhaseRules();
    void widthReachingZeroEndsTheSearch();
};

void TstDetectorCalibration::resetHeightRangeIncludesItsBounds()
{
    QVERIFY(isResetHeightInRange(12150, 12000, 150));
    QVERIFY(isResetHeightInRange(11850, 12000, 150));
    QVERIFY(!isResetHeightInRange(12151, 12000, 150));
    QVERIFY(!isResetHeightInRange(11849, 12000, 150));
    QVERIFY(isResetHeightInRange(12000, 12000, 0));
}

void TstDetectorCalibration::resetWidthStepTable_data()
{
    QTest::addColumn<int>("difference");
    QTest::addColumn<int>("step");
    const int t = 10;
    QTest::newRow("64t+1") << 64 * t + 1 << 34;
    QTest::newRow("exactly 64t") << 64 * t << 21;
    QTest::newRow("32t+1") << 32 * t + 1 << 21;
    QTest::newRow("exactly 32t") << 32 * t << 13;
    QTest::newRow("exactly 16t") << 16 * t << 8;
    QTest::newRow("exactly 8t") << 8 * t << 5;
    QTest::newRow("exactly 4t") << 4 * t << 2;
    QTest::newRow("exactly 2t") << 2 * t << 1;
    QTest::newRow("t+1") << t + 1 << 1;
    QTest::newRow("exactly t") << t << 0;
    QTest::newRow("far off") << 60000 << 34;
}

void TstDetectorCalibration::resetWidthStepTable()
{
    QFETCH(int, difference);
    QFETCH(int, step);
    QCOMPARE(resetWidthStep(1000 - difference, 1000, 10), step);
    QCOMPARE(resetWidthStep(1000 + difference, 1000, 10), step);
}

void TstDetectorCalibration::resetWidthMovesTowardsTheTargetInsideTheDac()
{
    QCOMPARE(nextResetWidth(1500, 12000 - 64 * 150, 12000, 150), 1521); // below: wider
    QCOMPARE(nextResetWidth(1500, 12000 + 64 * 150 + 1, 12000, 150), 1466); // above: narrower
    QCOMPARE(nextResetWidth(1500, 12150, 12000, 150), 1500); // in range: unchanged
    QCOMPARE(nextResetWidth(4090, 0, 12000, 150), 4095);
    QCOMPARE(nextResetWidth(10, 65535, 12000, 150), 0);
}

void TstDetectorCalibration::delayFactorDoublesAtMostTwice()
{
    int factor = 1;
    for (int i = 0; i < 5; ++i)
        factor = nextDelayFactor(factor, 11000, 11000);
    QCOMPARE(factor, 4);
    QCOMPARE(nextDelayFactor(1, 11000, 11001), 1);
    QCOMPARE(nextDelayFactor(2, 11000, 11000), 4);
}

void TstDetectorCalibration::adcWindowCountsBinsAboveTheFloor_data()
{
    QTest::addColumn<QVector<quint32>>("histogram");
    QTest::addColumn<int>("window");
    QTest::newRow("empty") << QVector<quint32>() << 0;
    QTest::newRow("all zero") << QVector<quint32>(256, 0) << 0;
    QTest::newRow("one peak") << QVector<quint32>{0, 133, 0} << 256;
    // 100 / 1.33 = 75.19: 76 counts, not 75, lie above the floor.
    QTest::newRow("at the floor") << QVector<quint32>{100, 76, 75, 2} << 512;
    QTest::newRow("flat") << QVector<quint32>(40, 500) << 40 * 256;
}

void TstDetectorCalibration::adcWindowCountsBinsAboveTheFloor()
{
    QFETCH(QVector<quint32>, histogram);
    QFETCH(int, window);
    QCOMPARE(adcWindowSize(histogram), window);
}

void TstDetectorCalibration::fetPhaseSteps_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("fetSub");
    QTest::newRow("no reset") << 0 << 1950;
    QTest::newRow("height 100") << 100 << 1950;
    QTest::newRow("height 101") << 101 << 1905;
    QTest::newRow("height 16000") << 16000 << 1905;
}

void TstDetectorCalibration::fetPhaseSteps()
{
    QFETCH(int, height);
    QFETCH(int, fetSub);
    PinDacState state;
    state.fetSub = 1900;
    state.resetWidth = 300;
    const PinDacChange change = adjustPinDacs(&state, height, 17000);
    QCOMPARE(state.fetSub, fetSub);
    QCOMPARE(state.resetWidth, 300);
    QVERIFY(change.writeFetSub);
    QVERIFY(!change.writeResetWidth);
    QVERIFY(!state.widthPhase);
}

void TstDetectorCalibration::saturatedFetWidensTheReset()
{
    PinDacState state;
    state.fetSub = 4092;
    state.resetWidth = 300;
    PinDacChange change = adjustPinDacs(&state, 5000, 17000);
    QCOMPARE(state.fetSub, 4095);
    QCOMPARE(state.resetWidth, 320);
    QVERIFY(change.writeFetSub && change.writeResetWidth);

    state.fetSub = 4089; // 4089 + 5 = 4094 does not pass the ceiling
    state.resetWidth = 300;
    change = adjustPinDacs(&state, 5000, 17000);
    QCOMPARE(state.fetSub, 4094);
    QCOMPARE(state.resetWidth, 300);

    state.fetSub = 4095;
    state.resetWidth = 4090;
    adjustPinDacs(&state, 50, 17000);
    QCOMPARE(state.fetSub, 4095);
    QCOMPARE(state.resetWidth, 4095);
}

void TstDetectorCalibration::widthPhaseIsStickyAndMovesOnlyTheWidth()
{
    PinDacState state;
    state.fetSub = 2055;
    state.resetWidth = 300;
    PinDacChange change = adjustPinDacs(&state, 16001, 17000);
    QVERIFY(state.widthPhase);
    QCOMPARE(state.resetWidth, 298);
    QVERIFY(!change.writeFetSub && change.writeResetWidth);

    // A low height later does not bring the FET phase back.
    change = adjustPinDacs(&state, 50, 17000);
    QCOMPARE(state.fetSub, 2055);
    QCOMPARE(state.resetWidth, 296); // the last width step again
    QVERIFY(!change.writeFetSub);
}

void TstDetectorCalibration::widthPhaseRules_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("heightOk");
    QTest::newRow("above max") << 17001 << 295 << false;
    QTest::newRow("at max") << 17000 << 298 << false;
    QTest::newRow("15801") << 15801 << 298 << false;
    QTest::newRow("15800") << 15800 << 300 << true;
    QTest::newRow("14201") << 14201 << 300 << true;
    QTest::newRow("14200, no step yet") << 14200 << 300 << false;
}

void TstDetectorCalibration::widthPhaseRules()
{
    QFETCH(int, height);
    QFETCH(int, width);
    QFETCH(bool, heightOk);
    PinDacState state;
    state.fetSub = 2055;
    state.resetWidth = 300;
    state.widthPhase = true;
    adjustPinDacs(&state, height, 17000);
    QCOMPARE(state.resetWidth, width);
    QCOMPARE(state.heightOk, heightOk);
    QCOMPARE(state.fetSub, 2055);
}

void TstDetectorCalibration::widthReachingZeroEndsTheSearch()
{
    PinDacState state;
    state.widthPhase = true;
    state.resetWidth = 5;
    PinDacChange change = adjustPinDacs(&state, 20000, 17000);
    QVERIFY(change.widthExhausted);
    QVERIFY(!change.writeResetWidth);
    QCOMPARE(state.resetWidth, 0);

    state.resetWidth = 6;
    change = adjustPinDacs(&state, 20000, 17000);
    QVERIFY(!change.widthExhausted);
    QCOMPARE(state.resetWidth, 1);
}

QTEST_GUILESS_MAIN(TstDetectorCalibration)
#include "tst_detectorcalibration.moc"
