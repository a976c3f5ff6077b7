#pragma once

#include <QObject>
#include <QString>

#include <memory>

class SimHardwareManager;
class SimEngine;

// A simulated instrument of one model family: its hardware manager and register engine over one
// instrument state. install() puts both behind the platform's service slots.
class SimInstrument
{
public:
    // Model families of the work order: "default", "LT", "MP", "HD", "Harrier".
    static QStringList models();

    explicit SimInstrument(const QString &model = QStringLiteral("default"));
    ~SimInstrument();

    QString model() const;
    void install();

    SimHardwareManager *hardwareManager() const;
    SimEngine *engine() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
