#pragma once

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

// The copies of an unreadable JSON file that were kept aside beside `path`, as full paths, each
// named "<name>.unreadable-<yyyyMMddTHHmmss>" with an optional "-<n>".
inline QStringList unreadableCopiesOf(const QString &path)
{
    const QFileInfo info(path);
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(info.fileName())
        + QStringLiteral("\\.unreadable-\\d{8}T\\d{6}(-\\d+)?")));
    QStringList copies;
    for (const QString &name : QDir(info.absolutePath()).entryList(QDir::Files)) {
        if (pattern.match(name).hasMatch())
            copies << info.absolutePath() + QLatin1Char('/') + name;
    }
    return copies;
}

inline void removeUnreadableCopiesOf(const QString &path)
{
    for (const QString &copy : unreadableCopiesOf(path))
        QFile::remove(copy);
}
