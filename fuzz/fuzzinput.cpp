#include "fuzzinput.h"

#include "xrflogging.h"
#include "xrfutils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace FuzzInput {

QJsonObject object(const uint8_t *data, size_t size)
{
    return QJsonDocument::fromJson(bytes(data, size)).object();
}

QString instrumentHome()
{
    // Some loaders run an event loop or look at the application's name.
    static int argc = 1;
    static char name[] = "xrf-fuzz";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/xrf-fuzz-XXXXXX"));
    static const bool prepared = [] {
        // Warnings about bad input are the expected outcome, thousands of times a second.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        XrfUtils::setInstrumentRoot(root.path());
        return QDir().mkpath(XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/factoryData"));
    }();
    Q_UNUSED(prepared);
    return XrfUtils::homeCorvaneAppDirPath();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

void removeKeptAside(const QString &folder)
{
    QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.unreadable-*")}, QDir::Files))
        dir.remove(name);
}

} // namespace FuzzInput
