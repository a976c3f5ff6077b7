#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>

class SimCloudServer;

// One unit of a batch: its serial, its root below the batch folder and how far it got.
struct BatchUnit
{
    enum State { Pending, Running, Done };
    unsigned int serial = 0;
    State state = Pending;
    int exitCode = -1;
    int resumes = 0; // times a killed run of the unit was resumed
    qint64 pid = 0;
    double seconds = 0;

    QJsonObject toJson() const;
    static BatchUnit fromJson(const QJsonObject &object);
};

// Runs a batch of simulated units, J at a time, each as its own `xrf-factory run` process on its
// own root, against one simulated cloud that this process serves. The batch's state is kept in
// DIR/batch.json after every change, so a batch run again on the same folder skips the units that
// are done and resumes the others from their roots; a unit whose process is killed is resumed
// the same way, from the step it was in.
class BatchRunner : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString dir;
        QString model = QStringLiteral("default");
        int units = 1;
        int jobs = 1;
        double timeScale = 0.0001;
        QString program; // the xrf-factory executable
    };

    static const int kMaxResumes = 2;

    explicit BatchRunner(const Options &options, QObject *parent = nullptr);
    ~BatchRunner() override;

    // Reads or creates the batch state, starts the cloud and gives it every unit's work order.
    bool start(QString *errorMsg);
    // Runs the units that are not done; returns when all are.
    void run();

    QList<BatchUnit> units() const { return m_units; }
    QString unitRoot(unsigned int serial) const;
    QString unitOutput(unsigned int serial) const;
    SimCloudServer &cloud() const { return *m_cloud; }
    // When this process began, to tell this run's steps from those of an earlier batch run.
    QDateTime startedAt() const { return m_startedAt; }

signals:
    void unitFinished(const BatchUnit &unit, const QString &summary);

private:
    bool loadState(QString *errorMsg);
    void saveState();
    void launchNext();
    void launch(int index);
    void onFinished(int index, int exitCode, QProcess::ExitStatus status);
    QString statePath() const;

    Options m_options;
    QList<BatchUnit> m_units;
    std::unique_ptr<SimCloudServer> m_cloud;
    QList<QProcess *> m_running;
    QDateTime m_startedAt;
    class QEventLoop *m_loop = nullptr;
};
