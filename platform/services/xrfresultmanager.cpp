#include "xrfresultmanager.h"

#include "xrfutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

XRF_DEFINE_DEFAULTED_SERVICE(XrfResultManager)

namespace {

const char *const kSchema = "CREATE TABLE IF NOT EXISTS results ("
                            "id INTEGER PRIMARY KEY AUTOINCREMENT, "
                            "testDateTime TEXT NOT NULL, "
                            "methodName TEXT NOT NULL, "
                            "sampleName TEXT, "
                            "concentrations TEXT)";
const char *const kIndex =
    "CREATE INDEX IF NOT EXISTS resultsByTestDateTime ON results (testDateTime)";

void setError(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
}

// One SQLite connection of the calling thread, removed again when it goes.
class Connection
{
public:
    explicit Connection(const QString &path)
        : m_name(QStringLiteral("xrfresults-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        m_open = db.open();
        if (!m_open)
            m_error = db.lastError().text();
    }
    ~Connection() { QSqlDatabase::removeDatabase(m_name); }

    bool isOpen() const { return m_open; }
    QString error() const { return m_error; }
    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }

    // Runs the statements in order with the values bound to the last one; false with the
    // error text of the first that fails.
    bool run(const QStringList &statements, const QVariantList &values, QString *errorMsg,
             QVariant *firstValue = nullptr)
    {
        QSqlQuery query(database());
        for (int i = 0; i < statements.size(); ++i) {
            if (!query.prepare(statements.at(i))) {
                setError(errorMsg, query.lastError().text());
                return false;
            }
            if (i == statements.size() - 1) {
                for (const QVariant &value : values)
                    query.addBindValue(value);
            }
            if (!query.exec()) {
                setError(errorMsg,
                         QStringLiteral("%1: %2").arg(statements.at(i), query.lastError().text()));
                return false;
            }
        }
        if (firstValue && query.next())
            *firstValue = query.value(0);
        return true;
    }

private:
    QString m_name;
    bool m_open = false;
    QString m_error;
};

bool openWithSchema(Connection &connection, const QString &path, QString *errorMsg)
{
    if (!connection.isOpen()) {
        setError(
            errorMsg,
            QStringLiteral("Cannot open results database %1: %2").arg(path, connection.error()));
        return false;
    }
    return connection.run({QLatin1String(kSchema), QLatin1String(kIndex)}, {}, errorMsg);
}

} // namespace

QString XrfResultManager::dateTimeFormat()
{
    return QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

QString XrfResultManager::databasePath()
{
    return XrfUtils::devicePath(QStringLiteral("/media/sdcard/instrumentdata/db/results.sqlite"));
}

bool XrfResultManager::addResult(const QDateTime &testDateTime, const QString &methodName,
                                 const QString &sampleName, const QJsonObject &concentrations,
                                 QString *errorMsg)
{
    const QString path = databasePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        setError(errorMsg, QStringLiteral("Cannot create the folder of %1").arg(path));
        return false;
    }
    Connection connection(path);
    return openWithSchema(connection, path, errorMsg)
        && connection.run(
            {QStringLiteral("INSERT INTO results (testDateTime, methodName, sampleName, "
                            "concentrations) VALUES (?, ?, ?, ?)")},
            {testDateTime.toUTC().toString(dateTimeFormat()), methodName, sampleName,
             QString::fromUtf8(QJsonDocument(concentrations).toJson(QJsonDocument::Compact))},
            errorMsg);
}

bool XrfResultManager::getResultsInASqlDbFromTestDateTime(const QString &startDateTime,
                                                          const QString &databaseName,
                                                          int *exported, int *total,
                                                          QString *errorMsg)
{
    if (!QDateTime::fromString(startDateTime, dateTimeFormat()).isValid()) {
        setError(errorMsg,
                 QStringLiteral("Invalid start date '%1', expected %2")
                     .arg(startDateTime, dateTimeFormat()));
        return false;
    }
    const QString target = databaseName + QStringLiteral(".sqlite");
    QFile::remove(target);
    const QString source = databasePath();
    QVariant exportedCount = 0;
    QVariant totalCount = 0;
    bool ok;
    {
        Connection connection(target);
        ok = openWithSchema(connection, target, errorMsg);
        if (ok && QFileInfo::exists(source)) {
            ok = connection.run({QStringLiteral("ATTACH DATABASE ? AS source")}, {source}, errorMsg)
                && connection.run({QStringLiteral("INSERT INTO main.results SELECT * FROM "
                                                  "source.results WHERE testDateTime >= ?")},
                                  {startDateTime}, errorMsg)
                && connection.run({QStringLiteral("SELECT COUNT(*) FROM source.results")}, {},
                                  errorMsg, &totalCount)
                && connection.run({QStringLiteral("SELECT COUNT(*) FROM main.results")}, {},
                                  errorMsg, &exportedCount)
                && connection.run({QStringLiteral("DETACH DATABASE source")}, {}, errorMsg);
        }
    }
    if (!ok) {
        QFile::remove(target);
        return false;
    }
    if (exported)
        *exported = exportedCount.toInt();
    if (total)
        *total = totalCount.toInt();
    return true;
}
