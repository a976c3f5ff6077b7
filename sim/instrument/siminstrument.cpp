#include "siminstrument.h"

#include "simengine.h"
#include "simhardwaremanager.h"

struct SimInstrument::Private
{
    QString model;
    std::unique_ptr<SimHardwareManager> hardware;
    std::unique_ptr<SimEngine> engine;
};

QStringList SimInstrument::models()
{
    return {QStringLiteral("default"), QStringLiteral("LT"), QStringLiteral("MP"),
            QStringLiteral("HD"), QStringLiteral("Harrier")};
}

SimInstrument::SimInstrument(const QString &model) : d(new Private)
{
    d->model = model;
    XrfHardwareConfig config;
    config.setInsSerialNumber(QStringLiteral("800123"));
    d->hardware.reset(new SimHardwareManager(config));
    d->engine.reset(new SimEngine(800123));
}

SimInstrument::~SimInstrument() = default;

QString SimInstrument::model() const
{
    return d->model;
}

void SimInstrument::install()
{
    XrfHardwareManager::install(d->hardware.get());
    xrf_hal::XrfEngine::install(d->engine.get());
}

SimHardwareManager *SimInstrument::hardwareManager() const
{
    return d->hardware.get();
}

SimEngine *SimInstrument::engine() const
{
    return d->engine.get();
}
