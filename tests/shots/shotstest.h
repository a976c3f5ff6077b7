#pragma once

// Shared by the beams setup and air shot tests: the default model's data on the instrument root,
// beam settings of a test's own, a technician who loads the samples the step asks for, and reads
// of what the steps stored.
#include "factorytestenv.h"
#include "simcloudserver.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

namespace shotstest {

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

inline Worker *worker()
{
    return FactoryTestEnv::get().worker();
}

inline SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
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

inline void writeJson(const QString &path, const QJsonObject &object)
{
    QVERIFY(XrfUtils::writeJsonFile(path, QJsonDocument(object)));
}

inline QJsonObject lastResult()
{
    return readJson(FactoryTestEnv::get().lastResultPath());
}

inline QJsonObject universalSetting(const QString &section)
{
    QJsonObject value;
    XrfSettingsManager::instance()->getUniversalSetting(section, &value);
    return value;
}

inline void setUniversalSetting(const QString &section, QJsonObject value)
{
    QCOMPARE(XrfSettingsManager::instance()->setUniversalSetting(section, &value), 0);
}

// The FPGA gain of the default instrument after its hardware setup (20 eV per channel).
constexpr quint32 kSetUpGain = 484966;

inline QString calibrationDefaultPath()
{
    return FactoryTestEnv::get().homePath() + QStringLiteral("/calibrationdefault");
}

inline QString methodMapPath()
{
    return calibrationDefaultPath() + QStringLiteral("/methodsPartIdMap.json");
}

// The default model's work order, setup data, method map, safe background rates and seeded
// universal settings, with the instrument model that provisioning stores.
inline void seedDefaultModel()
{
    auto &env = FactoryTestEnv::get();
    QVERIFY(env.seedModelData(QStringLiteral("default")));
    const QString data = QStringLiteral(XRF_DATA_DIR);
    QDir().mkpath(calibrationDefaultPath());
    for (const char *file : {"methodsPartIdMap.json", "safeBackgroundRate.json"}) {
        const QString to = calibrationDefaultPath() + QLatin1Char('/') + QLatin1String(file);
        QFile::remove(to);
        QVERIFY(QFile::copy(data + QStringLiteral("/default/calibrationdefault/") + file, to));
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    }
    const QString settings = XrfSettingsManager::instance()->universalSettingsFilePath();
    QFile::remove(settings);
    writeJson(settings,
              readJson(data
                       + QStringLiteral("/common/profile/instrumentsettings/"
                                        "universalSettings.json")));
    setUniversalSetting(QStringLiteral("hardware.config"),
                        QJsonObject{{"instrumentModel", "TARVO-K100"}});
    // The gain the hardware setup finds: 20 eV per channel.
    QCOMPARE(xrf_hal::XrfEngine::instance()->setFpgaGain(kSetUpGain), 0);
    env.reloadFactoryData();
}

// The beam settings of the default instrument type.
inline QJsonArray defaultBeams()
{
    return readJson(
               QStringLiteral(XRF_DATA_DIR "/default/calibrationdefault/methodsPartIdMap.json"))
        .value("beamSettings")
        .toObject()
        .value("XT-50RH_XDET-25SDD")
        .toArray();
}

inline QJsonObject defaultBeam(const QString &name)
{
    for (const QJsonValue &beam : defaultBeams()) {
        if (beam.toObject().value("beamName").toString() == name)
            return beam.toObject();
    }
    return QJsonObject();
}

inline void writeBeams(const QJsonArray &beams)
{
    QJsonObject map = readJson(methodMapPath());
    map.insert("beamSettings", QJsonObject{{"XT-50RH_XDET-25SDD", beams}});
    writeJson(methodMapPath(), map);
    FactoryTestEnv::get().reloadFactoryData();
}

// A passed beams setup record of the default beams, at the given currents by beam name.
inline void storePassedBeamsSetup(const QMap<QString, double> &currents)
{
    QJsonArray beams;
    for (const QJsonValue &value : defaultBeams()) {
        QJsonObject beam = value.toObject();
        const QString name = beam.value("beamName").toString();
        if (!currents.contains(name))
            continue;
        beam.insert("tubeCurrentUa", currents.value(name));
        beam.insert("isDone", true);
        beam.insert("actualCps", beam.value("targetICR"));
        beams.append(beam);
    }
    QJsonObject stored = lastResult();
    stored.insert("beamsSetup",
                  QJsonObject{{"stepId", int(XrfUtils::BeamsSetup)},
                              {"stepIdStr", "beamsSetup"},
                              {"status", int(XrfFactoryStepInfo::Passed)},
                              {"result", QJsonObject{{"beams", beams}}}});
    writeJson(FactoryTestEnv::get().lastResultPath(), stored);
}

// The open and collimated holes of the default wheel that the collimator ratio setup pairs.
inline void storeDefaultFilterPairs()
{
    const auto pair = [](int z, int thickness, int open, int collimated) {
        return QJsonObject{{"materialAtomicNumber", z},
                           {"thickness", thickness},
                           {"unCollimatedPos", open},
                           {"collimatedPos", collimated}};
    };
    setUniversalSetting(QStringLiteral("hardware.filterPairs"),
                        QJsonObject{{"13-100", pair(13, 100, 1, 2)},
                                    {"13-2000", pair(13, 2000, 4, 9)},
                                    {"22-25", pair(22, 25, 3, 6)}});
}

// Enters step 7 afresh, as the application does.
inline void enterBeamsSetup()
{
    FactoryTestEnv::get().onFactoryThread([] {
        worker()->currentStepId = XrfUtils::CameraSetup;
        worker()->q->initFactoryStep(QStringLiteral("beamsSetup"));
    });
}

// The technician on the beams setup page: loads each sample the step asks for (or the one
// `mixUps` gives instead) and starts the step again, until the step reports its status.
class BeamsTechnician : public QObject
{
public:
    QMap<QString, QString> mixUps;
    QStringList requestedSamples;
    QStringList statuses;
    QList<XrfBeamInfo> readyBeams;

    BeamsTechnician()
    {
        XrfFactoryManager *manager = FactoryTestEnv::get().manager();
        connect(manager, &XrfFactoryManager::beamSetupSampleChanged, this, [this](QString sample) {
            requestedSamples << sample;
            if (!sample.isEmpty() && running)
                QTimer::singleShot(0, this, [this, sample] { placeAndStart(sample); });
        });
        connect(manager, &XrfFactoryManager::beamConditionSetupComplete, this,
                [this](const QString &status) { statuses << status; });
        connect(manager, &XrfFactoryManager::beamCurrentReady, this,
                [this](const XrfBeamInfo &beam) { readyBeams << beam; });
    }

    // Fetches the list, starts the step and answers it until it reports a status.
    QString run()
    {
        running = true;
        const int reported = statuses.size();
        QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "getBeamsSetupBeamList",
                                  Qt::QueuedConnection);
        const bool done = QTest::qWaitFor([&] { return statuses.size() > reported; }, 60000);
        running = false;
        return done ? statuses.last() : QString();
    }

    void placeAndStart(const QString &sample)
    {
        FactoryTestEnv::get().instrument().loadSample(mixUps.value(sample, sample));
        QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "startBeamConditionSetup",
                                  Qt::QueuedConnection, Q_ARG(QString, QString()));
    }

private:
    bool running = false;
};

} // namespace shotstest
