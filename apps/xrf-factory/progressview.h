#pragma once

#include "stepsequence.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

// One progress line per step: the step, the library's task status text, its progress and the
// remaining time. On a terminal the line is redrawn in place and closed with the step's result;
// otherwise every new status text is printed as a plain line, so a log file stays readable.
class ProgressView : public QObject, public StepObserver
{
    Q_OBJECT
public:
    // `terminal`: redraw in place; by default when standard output is a terminal.
    explicit ProgressView(QObject *parent = nullptr);
    ProgressView(bool terminal, QObject *parent);

    void stepStarted(const QString &step) override;
    void stepFinished(const StepOutcome &outcome) override;

    // The text of one progress line, cut to `width` characters (0: no limit).
    static QString line(const QString &step, double percent, int remainingSeconds,
                        const QString &status, int width = 0);

private:
    void onStatus(const QString &status);
    void onProgress(double percent);
    void onRemaining(int seconds);
    void draw(bool force);
    void print(const QString &text);

    bool m_terminal;
    QString m_step;
    QString m_status;
    double m_percent = 0;
    int m_remaining = -1;
    QElapsedTimer m_lastDraw;
};
