#include "siminstrument.h"

#include <QDebug>

#include "simbatchmanager.h"
#include "simengine.h"
#include "simfaults.h"
#include "simhardwaremanager.h"
#include "simperipherals.h"
#include "simpresets.h"
#include "simrtc.h"
#include "simsamples.h"
#include "simstate.h"
#include "xrfatomicfile.h"
#include "xrfutils.h"

#include <atomic>

namespace {
std::atomic<SimInstrument *> g_installed{nullptr};
}
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

struct SimInstrument::Private
{
    explicit Private(const SimModelPreset &built)
        : preset(built), state(preset, faults), engine(state), cameras(state), interfaces(state)
    {
        hardware.reset(new SimHardwareManager(state));
    }

    SimModelPreset preset;
    SimFaults faults;
    SimState state;
    SimEngine engine;
    SimCameraController cameras;
    SimNetworkInterfaces interfaces;
    SimRtc rtc;
    // The test manager and its batch manager, which run the final QC batches.
    SimTestManager testManager;
    std::unique_ptr<SimHardwareManager> hardware;
};

QStringList SimInstrument::models()
{
    return SimModelPreset::models();
}

SimInstrument::SimInstrument(const QString &model) : d(new Private(SimModelPreset::byModel(model)))
{ }

SimInstrument::SimInstrument(const SimModelPreset &preset) : d(new Private(preset)) { }

SimInstrument::~SimInstrument()
{
    SimInstrument *self = this;
    g_installed.compare_exchange_strong(self, nullptr);
    if (XrfHardwareManager::isInstalled() && XrfHardwareManager::instance() == d->hardware.get())
        XrfHardwareManager::install(nullptr);
    if (xrf_hal::XrfEngine::isInstalled() && xrf_hal::XrfEngine::instance() == &d->engine)
        xrf_hal::XrfEngine::install(nullptr);
    if (XrfCameraController::instance() == &d->cameras)
        XrfCameraController::install(nullptr);
    if (XrfNetworkInterfaces::instance() == &d->interfaces)
        XrfNetworkInterfaces::install(nullptr);
    if (XrfTestManager::isInstalled() && XrfTestManager::instance() == &d->testManager)
        XrfTestManager::install(nullptr);
}

QString SimInstrument::model() const
{
    return d->preset.model;
}

const SimModelPreset &SimInstrument::preset() const
{
    return d->preset;
}

SimInstrument *SimInstrument::installed()
{
    return g_installed.load();
}

void SimInstrument::install()
{
    g_installed.store(this);
    XrfHardwareManager::install(d->hardware.get());
    xrf_hal::XrfEngine::install(&d->engine);
    XrfCameraController::install(&d->cameras);
    XrfNetworkInterfaces::install(&d->interfaces);
    XrfTestManager::install(&d->testManager);
    // The root file system's version file, as an instrument image carries it.
    const QString versionFile = XrfUtils::devicePath(QStringLiteral("/version.json"));
    // What a killed simulator was writing when it died.
    if (!XrfUtils::instrumentRoot().isEmpty()) {
        XrfAtomicFile::removeStaleTemporaryFiles(XrfUtils::simStatePath(), false);
        XrfAtomicFile::removeStaleTemporaryFiles(QFileInfo(versionFile).absolutePath(), false);
    }
    if (!XrfUtils::instrumentRoot().isEmpty() && !QFileInfo::exists(versionFile)
        && !XrfUtils::writeJsonFile(versionFile,
                                    QJsonDocument(QJsonObject{{"rootFsVersion", "5.4.24"},
                                                              {"rootFsPatchVersion", "7"},
                                                              {"appVersion", "3.18.2"}})))
        qWarning() << "cannot write the instrument's version file" << versionFile;
    const QString clockProgram = XrfUtils::simStatePath() + QStringLiteral("/hwclock");
    if (d->rtc.installProgram(clockProgram))
        XrfUtils::setHwClockProgram(clockProgram);
    else
        qWarning() << "cannot write the simulated clock program" << clockProgram;
}

SimRtc &SimInstrument::rtc() const
{
    return d->rtc;
}

void SimInstrument::amendHardware(const std::function<void(SimModelPreset &)> &change)
{
    {
        const auto lock = d->state.lock();
        d->state.amendHardware(change);
        d->preset = d->state.preset();
    }
    d->hardware->refreshConfig();
}

QString SimInstrument::ethernetMac() const
{
    const auto lock = d->state.lock();
    return d->state.preset().ethernetMac;
}

SimHardwareManager *SimInstrument::hardwareManager() const
{
    return d->hardware.get();
}

SimEngine *SimInstrument::engine() const
{
    return &d->engine;
}

SimFaults &SimInstrument::faults() const
{
    return d->faults;
}

SimState &SimInstrument::state() const
{
    return d->state;
}

bool SimInstrument::loadSample(const QString &name)
{
    SimSample sample;
    if (!SimSamples::find(name, &sample))
        return false;
    const auto lock = d->state.lock();
    // A graded target is aligned on the beam spot where it is now.
    sample.placementOffsetUm = -d->faults.focalSpotDriftMicrons(d->state.tubeOnSeconds());
    d->state.setSample(sample);
    d->state.log(QStringLiteral("Sample at the window: %1").arg(sample.name));
    return true;
}

QString SimInstrument::sampleName() const
{
    const auto lock = d->state.lock();
    return d->state.sample().name;
}

QStringList SimInstrument::sampleNames()
{
    return SimSamples::names();
}

void SimInstrument::defineStandard(const QString &name,
                                   const QVector<QPair<int, double>> &massFractions, double density)
{
    SimSamples::define(name, massFractions, density);
}

void SimInstrument::setSeed(unsigned int seed)
{
    {
        const auto lock = d->state.lock();
        d->state.seed(seed);
    }
    d->hardware->setSeed(seed);
}

unsigned int SimInstrument::serialNumber() const
{
    const auto lock = d->state.lock();
    return d->state.registers().raw(xrf_hal::RegInstrumentSerialNumber);
}

int SimInstrument::installedCamera() const
{
    const auto lock = d->state.lock();
    return d->state.preset().installedCamera;
}

QStringList SimInstrument::firmwareLog() const
{
    const auto lock = d->state.lock();
    return d->state.firmwareLog();
}

SimBatteryReading SimInstrument::batteryStatus() const
{
    const auto lock = d->state.lock();
    return d->state.sensors().battery(d->state.environment());
}

double SimInstrument::socTemperature() const
{
    const auto lock = d->state.lock();
    return d->state.sensors().socC(d->state.environment());
}

void SimInstrument::setTestStand(bool present, bool lidClosed)
{
    const auto lock = d->state.lock();
    d->state.environment().testStandPresent = present;
    d->state.environment().testStandLidClosed = lidClosed;
}

void SimInstrument::setInterlockClosed(bool closed)
{
    const auto lock = d->state.lock();
    d->state.environment().interlockClosed = closed;
}

SimStrayField SimInstrument::strayRadiation() const
{
    const auto lock = d->state.lock();
    return d->state.strayRadiation();
}

void SimInstrument::armSurveyMeterHold()
{
    const auto lock = d->state.lock();
    d->state.armStrayRadiationHold();
}

SimStrayField SimInstrument::surveyMeterHold() const
{
    const auto lock = d->state.lock();
    return d->state.heldStrayRadiation();
}
