#pragma once

#include "technician.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class SimInstrument;
class SimCloudServer;
class SimNetworkManager;

// One factory line: an instrument root, the simulated instrument and cloud behind the platform
// services, and the library initialised on them, as the instrument application would do it.
class FactoryLine
{
public:
    struct Options
    {
        QString root; // empty: a fresh temporary folder, kept after the run
        QString dataDir;
        QString model = QStringLiteral("default");
        double timeScale = 0.01;
        QStringList scenarios;
    };

    FactoryLine();
    ~FactoryLine();

    // Prepares the root, installs the backends and initialises the library. False with a
    // message when something cannot be set up.
    bool start(const Options &options, QString *errorMsg);
    // Shuts the library down on its thread and stops the simulators.
    void stop();

    QString root() const { return m_root; }
    // The technician's habits that the scenarios set.
    TechnicianPlan technician() const { return m_technician; }

private:
    bool prepareRoot(const QString &requested, QString *errorMsg);
    bool startCloud(QString *errorMsg);
    void publishSyntheticPackage();
    bool installDataEdits(QString *errorMsg);

    QString m_root;
    std::unique_ptr<SimInstrument> m_instrument;
    std::unique_ptr<SimCloudServer> m_cloud;
    std::unique_ptr<SimNetworkManager> m_network;
    std::unique_ptr<QObject> m_link;
    bool m_libraryStarted = false;
    TechnicianPlan m_technician;
};
