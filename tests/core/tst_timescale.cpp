// The time scale: waits without a floor that never end early, watchdogs with one, and poll
// bounds on the instrument's clock.

#include "xrftimescale.h"
#include "xrfutils.h"

#include <QElapsedTimer>
#include <QtTest>

class TstTimeScale : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { XrfTimeScale::setScale(1.0); }
    void durationsScaleWithoutAFloor();
    void activeSleepLastsItsWholeTimeAndRunsEvents();
    void pollBoundEndsOnInstrumentTimeAfterALastLook();
    void pollBoundAtScaleZeroKeepsItsMinimumPolls();
};

void TstTimeScale::durationsScaleWithoutAFloor()
{
    XrfTimeScale::setScale(0.0001);
    QCOMPARE(XrfTimeScale::scaledMs(20), 0);
    QCOMPARE(XrfTimeScale::scaledMs(60000), 6);
    QCOMPARE(XrfTimeScale::scaledNs(20), qint64(2000));
    QCOMPARE(XrfTimeScale::scaledMs(-5), 0);
    QCOMPARE(XrfTimeScale::watchdogMs(10000, 30000), 30000);
    QCOMPARE(XrfTimeScale::instrumentMs(1000000), 10000.0);
    XrfTimeScale::setScale(2.0);
    QCOMPARE(XrfTimeScale::watchdogMs(30000, 10000), 60000);
    XrfTimeScale::setScale(0);
    QCOMPARE(XrfTimeScale::scaledNs(3600000), qint64(0));
    XrfInstrumentTimer timer;
    timer.start();
    QVERIFY(timer.hasExpired(3600000));
    QCOMPARE(timer.elapsedMs(), qint64(0));
}

void TstTimeScale::activeSleepLastsItsWholeTimeAndRunsEvents()
{
    XrfTimeScale::setScale(0.001);
    QElapsedTimer elapsed;
    elapsed.start();
    XrfUtils::activeSleep(2500);
    QVERIFY(elapsed.nsecsElapsed() >= 2500000);

    // Far below a millisecond, queued calls still run during the wait.
    XrfTimeScale::setScale(0.0001);
    bool ran = false;
    QMetaObject::invokeMethod(
        this, [&ran] { ran = true; }, Qt::QueuedConnection);
    elapsed.restart();
    XrfUtils::activeSleep(3);
    QVERIFY(ran);
    QVERIFY(elapsed.nsecsElapsed() >= 300);
}

void TstTimeScale::pollBoundEndsOnInstrumentTimeAfterALastLook()
{
    XrfTimeScale::setScale(0.001);
    QElapsedTimer elapsed; // started first: the bound's clock never runs ahead of it
    elapsed.start();
    XrfPollBound bound(50);
    qint64 lastPollStartNs = 0;
    do {
        lastPollStartNs = elapsed.nsecsElapsed();
        XrfUtils::activeSleep(20);
    } while (bound.pollAgain());
    // The last poll began after the 50 instrument ms (50 us here) were up.
    QVERIFY(lastPollStartNs >= 50000);

    XrfTimeScale::setScale(1.0);
    int polls = 0;
    XrfPollBound spent(0);
    do
        ++polls;
    while (spent.pollAgain());
    QCOMPARE(polls, 1);
}

void TstTimeScale::pollBoundAtScaleZeroKeepsItsMinimumPolls()
{
    XrfTimeScale::setScale(0);
    for (const int minPolls : {1, 3}) {
        XrfPollBound bound(10000, minPolls);
        int polls = 0;
        do
            ++polls;
        while (bound.pollAgain());
        QCOMPARE(polls, minPolls);
    }
}

QTEST_GUILESS_MAIN(TstTimeScale)
#include "tst_timescale.moc"
