#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// A private dbus-daemon standing in for the system bus, with the fake host name service on it.
// The library reaches it through XRF_SYSTEM_BUS_ADDRESS. Both processes end with the object.
class PrivateBus
{
public:
    ~PrivateBus();

    // Starts the daemon and points XRF_SYSTEM_BUS_ADDRESS at it; false with `error` on failure.
    bool start(QString *error);
    QString address() const { return m_address; }

    // (Re)starts the service with its options (--refuse NAME, --record FILE).
    bool startService(const QStringList &arguments, QString *error);
    void stopService();

private:
    static void stop(std::unique_ptr<QProcess> &process);
    static bool waitForLine(QProcess &process, QByteArray *line);

    std::unique_ptr<QProcess> m_daemon;
    std::unique_ptr<QProcess> m_service;
    QString m_address;
};
