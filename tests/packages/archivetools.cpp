#include "archivetools.h"

#include <QProcess>

namespace {
QByteArray runUnzip(const QStringList &arguments, int *exitCode)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), arguments);
    if (!unzip.waitForFinished(60000) || unzip.exitStatus() != QProcess::NormalExit) {
        *exitCode = -1;
        return QByteArray();
    }
    *exitCode = unzip.exitCode();
    return unzip.readAllStandardOutput();
}
} // namespace

bool ArchiveTools::passesUnzipTest(const QString &archive, QString *output)
{
    int exitCode = -1;
    const QByteArray text = runUnzip({QStringLiteral("-t"), archive}, &exitCode);
    if (output)
        *output = QString::fromUtf8(text);
    return exitCode == 0 && text.contains("No errors detected");
}

QStringList ArchiveTools::entries(const QString &archive)
{
    int exitCode = -1;
    const QByteArray text = runUnzip({QStringLiteral("-Z1"), archive}, &exitCode);
    return exitCode == 0 ? QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                         : QStringList();
}

QByteArray ArchiveTools::entry(const QString &archive, const QString &name)
{
    int exitCode = -1;
    const QByteArray content = runUnzip({QStringLiteral("-p"), archive, name}, &exitCode);
    return exitCode == 0 ? content : QByteArray();
}
