#pragma once

#include "xrffactorymanager.h"
#include "xrffactorymanager_p.h"

#include <QMetaObject>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

class SimInstrument;
class SimCloudServer;
class SimNetworkManager;

// One instrument per test program: a temporary instrument root, the simulated instrument and
// cloud installed behind the platform services, and the library initialised on it. The library is
// a process-wide singleton that is initialised once, so test programs share one environment.
class FactoryTestEnv
{
public:
    struct Options
    {
        QString root; // empty: a fresh temporary folder, removed at exit
        QString model = QStringLiteral("default");
        double timeScale = 0.001;
        bool startLibrary = true;
    };

    // Creates the environment on first use; later calls return it unchanged.
    static FactoryTestEnv &start(const Options &options);
    static FactoryTestEnv &start() { return start(Options()); }
    static FactoryTestEnv &get();

    QString root() const;
    QString homePath() const;
    QString factoryDataPath() const;
    QString lastResultPath() const;

    SimInstrument &instrument() const;
    SimCloudServer &cloud() const;
    SimNetworkManager &network() const;

    XrfFactoryManager *manager() const { return XrfFactoryManager::instance(); }
    XrfFactoryManager::XrfFactoryManagerPrivate *worker() const { return manager()->d_func(); }

    // Runs `work` on the factory thread and returns its result once it has run.
    template<typename Work>
    auto onFactoryThread(Work work) const -> decltype(work())
    {
        using Result = decltype(work());
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(worker(), work, Qt::BlockingQueuedConnection);
        } else {
            Result result{};
            QMetaObject::invokeMethod(
                worker(), [&] { result = work(); }, Qt::BlockingQueuedConnection);
            return result;
        }
    }

    // Copies the model's default work order and factory setup data (data/<model>/factoryData) into
    // the factory data folder and has the worker load them, with the current hardware
    // configuration. False when the model has no data.
    bool seedModelData(const QString &model) const;
    // Has the worker load the work order and factory setup data from the folder again.
    void reloadFactoryData() const;

    // Lets the library's last cloud requests be answered and takes the instrument offline: the
    // process must not exit while the cloud simulator still serves a request. Call it from
    // cleanupTestCase().
    void settleBeforeExit() const;
    // Waits until the library's cloud requests, and what their answers set off on the factory
    // thread, are over (at most 30 s); the instrument stays online.
    void waitForCloudRequests() const;

    // Waits until everything queued to the factory thread so far has run.
    void drainFactoryThread() const;

private:
    FactoryTestEnv() = default;
    void create(const Options &options);

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<SimInstrument> m_instrument;
    std::unique_ptr<SimCloudServer> m_cloud;
    std::unique_ptr<SimNetworkManager> m_network;
};
