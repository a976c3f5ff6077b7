#include "privatebus.h"

#include <QDeadlineTimer>

namespace {
const int kStartTimeoutMs = 10000;
}

PrivateBus::~PrivateBus()
{
    stop(m_service);
    stop(m_daemon);
}

void PrivateBus::stop(std::unique_ptr<QProcess> &process)
{
    if (!process)
        return;
    process->kill();
    process->waitForFinished(kStartTimeoutMs);
    process.reset();
}

bool PrivateBus::waitForLine(QProcess &process, QByteArray *line)
{
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!process.canReadLine()) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning
            || !process.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    *line = process.readLine().trimmed();
    return true;
}

bool PrivateBus::start(QString *error)
{
    m_daemon.reset(new QProcess);
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {"--session", "--nofork", "--nopidfile", "--print-address=1"});
    QByteArray line;
    if (!m_daemon->waitForStarted(kStartTimeoutMs) || !waitForLine(*m_daemon, &line)) {
        *error = QStringLiteral("dbus-daemon did not start: %1 %2")
                     .arg(m_daemon->errorString(),
                          QString::fromLocal8Bit(m_daemon->readAllStandardError()));
        return false;
    }
    m_address = QString::fromLocal8Bit(line);
    qputenv("XRF_SYSTEM_BUS_ADDRESS", line);
    return true;
}

bool PrivateBus::startService(const QStringList &arguments, QString *error)
{
    stopService();
    m_service.reset(new QProcess);
    m_service->start(QStringLiteral(FAKE_TARVOD_PATH), arguments);
    QByteArray line;
    if (!m_service->waitForStarted(kStartTimeoutMs) || !waitForLine(*m_service, &line)
        || line != "ready") {
        *error = QStringLiteral("host name service did not start: %1")
                     .arg(QString::fromLocal8Bit(m_service->readAllStandardError()));
        return false;
    }
    return true;
}

void PrivateBus::stopService()
{
    stop(m_service);
}
