// The factory line killed with SIGKILL at random moments and at the write and the rename of its
// atomic writes: after every kill each JSON file under the root parses, and a second run on the
// same root completes and leaves no temporary file behind.
//
// XRF_CRASH_KILLS sets how many kills (CI runs a few; `make crash-test` a thousand),
// XRF_CRASH_STEPS the steps of each run, XRF_CRASH_SEED the random sequence.

#include "xrfatomicfile.h"

#include <QtTest>

#include <signal.h>

namespace {

const QString kTimeScale = QStringLiteral("0.0001");
const int kRunTimeoutMs = 600000;

int environmentNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

QString environmentText(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

struct Run
{
    bool killed = false;
    int exitCode = -1;
    QString output;
};

// The JSON files below `root` that do not parse, and the temporary files of atomic writes.
QStringList damagedFiles(const QString &root, QStringList *temporaryFiles)
{
    QStringList damaged;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (XrfAtomicFile::isTemporaryFileName(it.fileName()))
            *temporaryFiles << path;
        if (!path.endsWith(QLatin1String(".json")))
            continue;
        QFile file(path);
        QJsonParseError error;
        if (!file.open(QIODevice::ReadOnly)
            || (QJsonDocument::fromJson(file.readAll(), &error), error.error)
                != QJsonParseError::NoError)
            damaged << QStringLiteral("%1 (%2)").arg(path, error.errorString());
    }
    return damaged;
}

} // namespace

class TstCrashResume : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedLinesLeaveWholeFilesAndResume();

private:
    // Runs the line on `root`; with `killAfterMs` >= 0 it is killed after that long, with
    // `atomicKill` set the line kills itself at that atomic write ("N:write" or "N:rename").
    Run runLine(const QString &root, int killAfterMs = -1, const QString &atomicKill = QString());

    QString m_steps;
    qint64 m_fullRunMs = 0;
    int m_commits = 0;
};

Run TstCrashResume::runLine(const QString &root, int killAfterMs, const QString &atomicKill)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("XRF_KILL_AT_ATOMIC_WRITE");
    if (!atomicKill.isEmpty())
        environment.insert("XRF_KILL_AT_ATOMIC_WRITE", atomicKill);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(XRF_FACTORY_BIN),
                  {"run", "--root", root, "--steps", m_steps, "--time-scale", kTimeScale});
    Run run;
    if (!process.waitForStarted())
        return run;
    if (killAfterMs >= 0 && !process.waitForFinished(killAfterMs))
        ::kill(pid_t(process.processId()), SIGKILL);
    if (!process.waitForFinished(kRunTimeoutMs)) {
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished();
        run.output = QStringLiteral("the line did not finish");
        return run;
    }
    run.killed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = run.killed ? -1 : process.exitCode();
    run.output = QString::fromUtf8(process.readAll());
    return run;
}

// A whole run, for how long one lasts and how many atomic writes it makes.
void TstCrashResume::initTestCase()
{
    m_steps = environmentText("XRF_CRASH_STEPS",
                              QStringLiteral("provisioning,hardwareSetup,cameraSetup"));
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QElapsedTimer elapsed;
    elapsed.start();
    const Run run = runLine(root.path());
    m_fullRunMs = elapsed.elapsed();
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    // A kill at a commit beyond the last never happens: the first miss tells where the end is.
    m_commits = 400;
}

void TstCrashResume::killedLinesLeaveWholeFilesAndResume()
{
    const int kills = environmentNumber("XRF_CRASH_KILLS", XRF_CRASH_DEFAULT_KILLS);
    QRandomGenerator random(quint32(environmentNumber("XRF_CRASH_SEED", 20261207)));
    int killed = 0, atRandom = 0, atWrite = 0, atRename = 0, attempts = 0;
    while (killed < kills && attempts < kills * 4) {
        ++attempts;
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const int mode = attempts % 3;
        Run run;
        QString where;
        if (mode == 0) {
            const int delay = int(random.bounded(int(qMax<qint64>(m_fullRunMs, 1))));
            where = QStringLiteral("after %1 ms").arg(delay);
            run = runLine(root.path(), delay);
        } else {
            const int commit = 1 + int(random.bounded(m_commits));
            where = QStringLiteral("%1:%2").arg(commit).arg(mode == 1 ? "write" : "rename");
            run = runLine(root.path(), -1, where);
            if (!run.killed && run.exitCode == 0)
                m_commits = qMax(1, commit - 1); // fewer writes than that in a whole run
        }
        if (!run.killed)
            continue;
        ++killed;
        (mode == 0 ? atRandom : mode == 1 ? atWrite : atRename)++;

        QStringList temporary;
        QStringList damaged = damagedFiles(root.path(), &temporary);
        QVERIFY2(damaged.isEmpty(),
                 qPrintable(QStringLiteral("killed %1: %2").arg(where, damaged.join(", "))));
        const Run again = runLine(root.path());
        QVERIFY2(again.exitCode == 0,
                 qPrintable(QStringLiteral("killed %1, then: %2").arg(where, again.output)));
        temporary.clear();
        damaged = damagedFiles(root.path(), &temporary);
        QVERIFY2(damaged.isEmpty() && temporary.isEmpty(),
                 qPrintable(QStringLiteral("killed %1, after the second run: %2")
                                .arg(where, (damaged + temporary).join(", "))));
    }
    qInfo("%d kills (%d at random, %d at a write, %d before a rename) in %d runs; a whole run "
          "takes %lld ms and makes up to %d atomic writes",
          killed, atRandom, atWrite, atRename, attempts, m_fullRunMs, m_commits);
    QCOMPARE(killed, kills);
}

QTEST_GUILESS_MAIN(TstCrashResume)
#include "tst_crashresume.moc"
