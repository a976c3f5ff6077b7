// A batch of units against one cloud: every unit accounted for, units that differ, and a unit
// whose process is killed resumed from where it stopped.

#include <QtTest>

#include "simunitvariation.h"

#include <csignal>

class TstBatch : public QObject
{
    Q_OBJECT

private slots:
    void unitsOfAModelDifferButItsUsualUnitDoesNot();
    void aKilledUnitIsResumedAndTheBatchAccountsForEveryUnit();

private:
    static QJsonObject readJson(const QString &path);
};

QJsonObject TstBatch::readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

void TstBatch::unitsOfAModelDifferButItsUsualUnitDoesNot()
{
    for (const char *model : {"default", "LT", "MP", "HD", "Harrier"}) {
        const SimUnitVariation usual = SimUnitVariation::of(model);
        QVERIFY(usual.nominal);
        QCOMPARE(usual.detectorGainFactor, 1.0);
        const SimUnitVariation next = SimUnitVariation::of(model, usual.serial + 1);
        QVERIFY(!next.nominal);
        QVERIFY(next.detectorGainFactor != 1.0 && next.tubeOutputFactor != 1.0);
        // The serial is the unit: the same serial, the same unit.
        QCOMPARE(SimUnitVariation::of(model, usual.serial + 1).toJson(), next.toJson());
        QVERIFY(SimUnitVariation::of(model, usual.serial + 2).toJson() != next.toJson());
    }
}

void TstBatch::aKilledUnitIsResumedAndTheBatchAccountsForEveryUnit()
{
    QTemporaryDir dir;
    const QStringList arguments = {"batch",        "--units", "2",     "--jobs",  "2",
                                   "--time-scale", "0.0005",  "--dir", dir.path()};
    QProcess batch;
    batch.setProcessChannelMode(QProcess::MergedChannels);
    batch.start(QStringLiteral(XRF_FACTORY_BIN), arguments);
    QVERIFY(batch.waitForStarted());

    // Unit 800124 loses power during its stability run.
    const QString unitLog = dir.path() + "/units/800124/line/runLog.json";
    auto inStability = [&] {
        const QJsonArray steps = readJson(unitLog)["steps"].toArray();
        return !steps.isEmpty() && steps.last()["step"] == "stability"
            && steps.last()["result"] == "RUNNING";
    };
    QTRY_VERIFY_WITH_TIMEOUT(inStability(), 120000);
    qint64 pid = 0;
    for (const QJsonValue &unit : readJson(dir.path() + "/batch.json")["units"].toArray()) {
        if (unit["serial"].toInt() == 800124)
            pid = unit["pid"].toVariant().toLongLong();
    }
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);

    QVERIFY(batch.waitForFinished(300000));
    const QString out = QString::fromUtf8(batch.readAll());
    QVERIFY2(batch.exitCode() == 0, qPrintable(out));
    QVERIFY2(out.contains("unit 800124") && out.contains("killed during stability; resuming it"),
             qPrintable(out));
    QVERIFY(out.contains("Units done: 2 of 2, passed every step: 2"));
    QVERIFY(out.contains(QRegularExpression("\\nstability +2 +2 +0 +100.0 %")));
    QVERIFY(out.contains("Step statuses lost on the way to the cloud: 0"));
    QVERIFY(QFileInfo(dir.path() + "/batchReport.html").size() > 0);

    // Resumed, not restarted: the steps before the stability run ran once, in the first run.
    QFile unitOut(dir.path() + "/units/800124.out");
    QVERIFY(unitOut.open(QIODevice::ReadOnly));
    const QString unitText = QString::fromUtf8(unitOut.readAll());
    QCOMPARE(unitText.count(QRegularExpression("\\nhardwareSetup +started")), 1);
    QCOMPARE(unitText.count(QRegularExpression("\\nstability +started")), 2);
    const QJsonObject state = readJson(dir.path() + "/batch.json");
    for (const QJsonValue &unit : state["units"].toArray()) {
        QCOMPARE(unit["state"].toString(), QStringLiteral("done"));
        QCOMPARE(unit["resumes"].toInt(), unit["serial"].toInt() == 800124 ? 1 : 0);
    }

    // The same batch again: every unit is done, none runs again.
    QProcess again;
    again.setProcessChannelMode(QProcess::MergedChannels);
    again.start(QStringLiteral(XRF_FACTORY_BIN), arguments);
    QVERIFY(again.waitForFinished(60000));
    const QString second = QString::fromUtf8(again.readAll());
    QVERIFY2(!second.contains("\nunit 8001"), qPrintable(second));
    QVERIFY(second.contains("Units done: 2 of 2"));
}

QTEST_GUILESS_MAIN(TstBatch)
#include "tst_batch.moc"
