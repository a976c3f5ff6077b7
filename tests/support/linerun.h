#pragma once

// Runs the factory line program of a test (XRF_FACTORY_BIN) and keeps what it printed.

#include <QProcess>
#include <QStringList>

struct LineRun
{
    int exitCode = -1; // -1: it crashed or did not finish in time
    QString out; // standard output and error

    static LineRun run(const QString &program, const QStringList &arguments, int timeoutMs)
    {
        QProcess process;
        process.start(program, arguments);
        LineRun run;
        if (!process.waitForFinished(timeoutMs))
            return run;
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out =
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        return run;
    }

    // "run --root ROOT --steps STEPS --time-scale 0.001".
    static QStringList lineArguments(const QString &root, const QString &steps)
    {
        return {"run", "--root", root, "--steps", steps, "--time-scale", "0.001"};
    }
};
