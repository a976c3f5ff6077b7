#pragma once

#include <QObject>
#include <QString>

// Shows the library's task status and progress: a redrawn bar on a terminal, plain lines
// otherwise.
class ProgressView : public QObject
{
    Q_OBJECT
public:
    explicit ProgressView(QObject *parent = nullptr);

private:
    void onStatus(const QString &status);
    void onProgress(double percent);
    void draw();

    bool m_terminal;
    QString m_status;
    double m_percent = 0;
};
