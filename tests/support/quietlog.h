#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>

// Benchmarks print their figures and nothing else: the log messages of the library and the
// simulator are dropped, all but critical ones, which say that the run itself went wrong.
inline void keepOnlyCriticalLogMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
}
