// JSON files that are read and written back: an unreadable one is kept aside, never overwritten.

#include "xrflogging.h"
#include "xrfutils.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace {

// Why the file cannot serve as a JSON object; empty when it can (or when it is missing).
QString unreadableReason(const QString &path)
{
    if (!QFileInfo::exists(path))
        return QString();
    QJsonValue value;
    QString error;
    if (!XrfUtils::readJsonFile(path, &value, &error))
        return error;
    if (!value.isObject())
        return QStringLiteral("%1 does not hold a JSON object").arg(path);
    return QString();
}

// A free name beside `path` that says the file was unreadable and when it was put aside.
QString asideName(const QString &path)
{
    const QString stem = path + QStringLiteral(".unreadable-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
    QString candidate = stem;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = stem + QStringLiteral("-%1").arg(n);
    return candidate;
}

} // namespace

bool XrfUtils::setAsideUnreadableJsonFile(const QString &path, QString *errorMsg)
{
    const QString reason = unreadableReason(path);
    if (reason.isEmpty())
        return true;
    const QString aside = asideName(path);
    QFile file(path);
    if (!file.rename(aside)) {
        const QString message = QStringLiteral("%1 cannot be read (%2) and cannot be kept aside "
                                               "as %3: %4; it is left as it is and not written")
                                    .arg(path, reason, aside, file.errorString());
        qWarning().noquote() << message;
        XrfAlarm(message).raise();
        if (errorMsg)
            *errorMsg = message;
        return false;
    }
    const QString message =
        QStringLiteral("%1 cannot be read (%2); it was kept as %3 and a new file is written")
            .arg(path, reason, aside);
    qWarning().noquote() << message;
    XrfAlarm(message).raise();
    return true;
}
