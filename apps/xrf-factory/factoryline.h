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
        // The unit's serial: its own physical variation; 0 is the model's usual unit.
        unsigned int serial = 0;
        // A cloud that already runs (a batch's); empty: the line starts its own.
        QString cloudUrl;
    };

    FactoryLine();
    ~FactoryLine();

    // Prepares the root, installs the backends and initialises the library. False with a
    // message when something cannot be set up.
    bool start(const Options &options, QString *errorMsg);
    // Shuts the library down on its thread and stops the simulators.
    void stop();

    QString root() const { return m_root; }
    // The instrument's serial number as its controller holds it.
    QString serial() const;
    // The technician's habits that the scenarios set.
    TechnicianPlan technician() const { return m_technician; }

private:
    bool prepareRoot(const QString &requested, QString *errorMsg);
    bool startCloud(const QString &cloudUrl, QString *errorMsg);
    void publishSyntheticPackage();
    void publishFinalQcTemplates();
    bool installDataEdits(QString *errorMsg);

    QString m_root;
    std::unique_ptr<SimInstrument> m_instrument;
    std::unique_ptr<SimCloudServer> m_cloud;
    std::unique_ptr<SimNetworkManager> m_network;
    std::unique_ptr<QObject> m_link;
    bool m_libraryStarted = false;
    TechnicianPlan m_technician;
};
