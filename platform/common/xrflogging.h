#pragma once

#include "xrferrorinfo.h"

#include <QLoggingCategory>
#include <QString>

// The technician's alarms travel as critical messages of this category.
Q_DECLARE_LOGGING_CATEGORY(xrfAlarmCategory)

// An alarm for the technician: a message with a severity (1 is the highest).
class XrfAlarm
{
public:
    explicit XrfAlarm(const QString &message, int severity = 1, int errorCode = 0)
        : m_message(message), m_severity(severity), m_errorCode(errorCode)
    { }
    explicit XrfAlarm(const XrfErrorInfo &error, int severity = 1)
        : XrfAlarm(error.errorString(), severity, error.errorCode())
    { }

    QString message() const { return m_message; }
    int severity() const { return m_severity; }
    int errorCode() const { return m_errorCode; }
    QString toString() const;

    // Logs the alarm as a critical message of the alarm category.
    void raise() const;

private:
    QString m_message;
    int m_severity;
    int m_errorCode;
};

// Writes every log record, with time, level, category, thread, file, line and function, to a log
// file and to standard error.
class XrfLogger
{
public:
    // Installs the message handler. Records below `consoleLevel` are written to the file only.
    static void install(const QString &logFilePath, QtMsgType consoleLevel = QtDebugMsg);
    static void uninstall();
    // Records below `level` are no longer written to the log file (debug: every record).
    static void setLoggerLevel(QtMsgType level);
    static QtMsgType loggerLevel();
    static QString logFilePath();
    static QString formatRecord(QtMsgType type, const QMessageLogContext &context,
                                const QString &message);
};
