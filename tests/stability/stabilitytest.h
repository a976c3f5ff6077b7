#pragma once

// Shared by the stability tests: short runs on the default model's setup data, the records the
// library announces, and what it stored.
#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "simfaults.h"
#include "simhardwaremanager.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "simpresets.h"
#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

namespace stabilitytest {

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

inline FactoryTestEnv &env()
{
    return FactoryTestEnv::get();
}

inline Worker *worker()
{
    return env().worker();
}

inline SimFaults &faults()
{
    return env().instrument().faults();
}

inline QString serial()
{
    return XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
}

inline QJsonObject readJson(const QString &path)
{
    QJsonValue value;
    XrfUtils::readJsonFile(path, &value);
    return value.toObject();
}

inline QString setupDataPath()
{
    return env().factoryDataPath() + QStringLiteral("/factory_setup_data.json");
}

// Three shots of 3 s (two at least), so that a run takes a moment.
inline QJsonObject shortRun(const QJsonObject &exposureHv)
{
    QJsonObject lv = exposureHv;
    lv.insert("tubeVoltageKv", 15);
    return {{"exposureType", "HV"},
            {"repeats", 3},
            {"miniRepeats", 2},
            {"minRepeats", 2},
            {"intraShotDelay", 1},
            {"saveFirmwareLogs", true},
            {"detectorReadyWaitTime", 5},
            {"darkRateMax", 5},
            {"soundEffectsEnabled", true},
            {"exposureHv", exposureHv},
            {"exposureLv", lv}};
}

inline QJsonObject exposure(double kv, double ua, int diameter)
{
    return {{"tubeVoltageKv", kv},
            {"tubeCurrentUa", ua},
            {"maxTime", 3},
            {"useLiveTime", false},
            {"enabled", true},
            {"filter",
             QJsonObject{{"materialAtomicNumber", 13},
                         {"thicknessInMicrons", 100},
                         {"diameterInMicrons", diameter}}}};
}

inline QJsonObject plainOptions()
{
    QJsonObject options = shortRun(exposure(40, 40, 2718));
    options.insert("icrMinThreshold", 10000);
    options.insert("targetBinsize", 10); // the factory-fresh energy scale
    options.insert("binsizeTolerance", 0.5);
    options.insert("energyPeak1RegionBegin", 6250);
    options.insert("energyPeak1RegionEnd", 6550);
    options.insert("energyPeak2RegionBegin", 17250);
    options.insert("energyPeak2RegionEnd", 17700);
    return options;
}

inline QJsonObject collimatedOptions()
{
    QJsonObject options = shortRun(exposure(40, 100, 482));
    options.insert("energyCuRegionStart", 7850);
    options.insert("energyCuRegionEnd", 8250);
    options.insert("energyBrRegionStart", 11700);
    options.insert("energyBrRegionEnd", 12150);
    options.insert("minBrToCuRatioTestAvg", 0.6);
    options.insert("maxBrToCuRatioTestAvg", 1.4);
    options.insert("minBrCuRatioTestRSD", 0);
    options.insert("maxBrCuRatioTestRSD", 0.2);
    return options;
}

// The default model's setup data with the stability options given ({} leaves a key out), and
// the energy scale that the gain setup would have stored.
inline void writeSetupData(const QJsonObject &plain, const QJsonObject &collimated)
{
    QVERIFY(env().seedModelData("default"));
    QJsonObject data = readJson(setupDataPath());
    QJsonObject info = data.value("factorySetupInfo").toObject();
    info.remove("stabilityOptions");
    info.remove("collimatedStability");
    if (!plain.isEmpty())
        info.insert("stabilityOptions", plain);
    if (!collimated.isEmpty())
        info.insert("collimatedStability", collimated);
    data.insert("factorySetupInfo", info);
    QVERIFY(XrfUtils::writeJsonFile(setupDataPath(), QJsonDocument(data)));
    // The factory-fresh energy scale of the default model (no gain setup has run).
    QJsonObject fpga{{"offset", -0.014}, {"slope", 0.009699}};
    XrfSettingsManager::instance()->setUniversalSetting("hardware.fpga", &fpga);
    env().reloadFactoryData();
}

inline void writeSetupData()
{
    writeSetupData(plainOptions(), collimatedOptions());
}

// The detector at its set point, its reset height where the micro-reset setup leaves it and the
// filter table where the filter scan leaves it (holes centred on the beam).
inline void prepareInstrument()
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    engine->setDetectorDac(xrf_hal::DetectorDacResetWidth, 1584);
    unsigned char last = 0;
    QCOMPARE(engine->getMaxFilterPosition(&last), 0);
    QVector<xrf_hal::FilterParams> table(last + 1);
    QCOMPARE(engine->getFilterData(table.data(), last + 1), 0);
    for (xrf_hal::FilterParams &position : table)
        position.encoder += env().instrument().preset().wheelUnitShiftTicks;
    QCOMPARE(engine->setFilterData(table.data(), last + 1), 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        [] {
            unsigned short status = 0;
            xrf_hal::XrfEngine::instance()->readValue16(xrf_hal::RegDetectorStatus, &status);
            return (status & 0x2) != 0;
        }(),
        30000);
}

// What the library announces while a stability step runs.
class Recorder : public QObject
{
public:
    Recorder()
    {
        XrfFactoryManager *m = env().manager();
        connect(m, &XrfFactoryManager::stabilityTestComplete, this,
                [this](const QJsonObject &r) { records << r; });
        connect(m, &XrfFactoryManager::stabilitySpectrumReady, this, [this](const QJsonObject &r) {
            if (r.contains("spectrum"))
                shots << r;
        });
        connect(m, &XrfFactoryManager::factoryStepResultUploadComplete, this,
                [this](bool ok, const QString &error) { uploads << qMakePair(ok, error); });
    }
    void clear()
    {
        records.clear();
        shots.clear();
        uploads.clear();
    }
    QStringList statuses() const
    {
        QStringList list;
        for (const QJsonObject &r : records)
            list << r.value("status").toString();
        return list;
    }
    QString lastStatus() const
    {
        return records.isEmpty() ? QString() : records.last().value("status").toString();
    }
    QJsonObject last() const { return records.isEmpty() ? QJsonObject() : records.last(); }

    QList<QJsonObject> records;
    QList<QJsonObject> shots;
    QList<QPair<bool, QString>> uploads;
};

inline bool isFinal(const QString &status)
{
    return status == "error" || status == "aborted" || status == "cloudResponseReceived";
}

// Waits until the run's record is final and no upload runs any more.
inline bool waitForFinal(const Recorder &recorder, int timeoutMs = 60000)
{
    return QTest::qWaitFor(
        [&] {
            return isFinal(recorder.lastStatus())
                && !env().onFactoryThread([] { return worker()->stabilityUploadPending; });
        },
        timeoutMs);
}

// Enters the step afresh (from the provisioning step) as the application does; the signals it
// sent have arrived when it returns.
inline void enterStep(const QString &name)
{
    env().onFactoryThread([&] {
        worker()->currentStepId = XrfUtils::Provisioning;
        env().manager()->initFactoryStep(name);
    });
    QCoreApplication::sendPostedEvents();
}

// The technician presses abort once `shots` shots are done.
inline QMetaObject::Connection abortAfterShots(int shots, Recorder *recorder)
{
    return QObject::connect(env().manager(), &XrfFactoryManager::stabilitySpectrumReady, recorder,
                            [recorder, shots](const QJsonObject &record) {
                                if (record.contains("spectrum") && recorder->shots.size() == shots)
                                    env().manager()->abortStabilityTest();
                            });
}

inline void startRun(bool mini = false)
{
    QMetaObject::invokeMethod(env().manager(), "startStabilityTest", Qt::QueuedConnection,
                              Q_ARG(bool, mini));
}

inline QJsonObject storedMeta(const QString &step)
{
    return readJson(env().lastResultPath())
        .value(step)
        .toObject()
        .value("stabilityTestMetaInfo")
        .toObject();
}

inline QString stabilityFolder(const QString &step)
{
    return env().factoryDataPath() + "/" + step;
}

} // namespace stabilitytest
