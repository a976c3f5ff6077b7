// A stand-in for the instrument's host name service: registers "com.corvane.tarvod" on the bus
// named by XRF_SYSTEM_BUS_ADDRESS and answers setHostname. Options: --refuse NAME answers false
// for that name; --record FILE appends every name received to FILE. Prints "ready" once
// registered.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QObject>
#include <QTextStream>

#include <cstdio>

class HostNameService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.corvane.tarvod")
public:
    HostNameService(QString refused, QString recordFile)
        : m_refused(std::move(refused)), m_recordFile(std::move(recordFile))
    { }

public slots:
    bool setHostname(const QString &name)
    {
        if (!m_recordFile.isEmpty()) {
            QFile file(m_recordFile);
            if (file.open(QIODevice::Append | QIODevice::Text))
                QTextStream(&file) << name << '\n';
        }
        return name != m_refused;
    }

private:
    QString m_refused;
    QString m_recordFile;
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"refuse", "Host name to refuse.", "name"});
    parser.addOption({"record", "File that receives every host name.", "file"});
    parser.process(app);

    const QString address = QString::fromLocal8Bit(qgetenv("XRF_SYSTEM_BUS_ADDRESS"));
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("bus"));
    HostNameService service(parser.value("refuse"), parser.value("record"));
    if (!bus.isConnected()
        || !bus.registerObject(QStringLiteral("/"), &service, QDBusConnection::ExportAllSlots)
        || !bus.registerService(QStringLiteral("com.corvane.tarvod"))) {
        std::fprintf(stderr, "fake_tarvod: cannot serve on '%s'\n", qPrintable(address));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_tarvod.moc"
