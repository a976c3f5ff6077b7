#include "progressview.h"

#include "xrffactorymanager.h"

#include <cstdio>
#include <unistd.h>

ProgressView::ProgressView(QObject *parent) : QObject(parent), m_terminal(isatty(STDOUT_FILENO))
{
    XrfFactoryManager *manager = XrfFactoryManager::instance();
    connect(manager, &XrfFactoryManager::currentTaskStatusChanged, this, &ProgressView::onStatus);
    connect(manager, &XrfFactoryManager::currentTaskProgressChanged, this,
            &ProgressView::onProgress);
}

void ProgressView::onStatus(const QString &status)
{
    m_status = QString(status).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!m_terminal) {
        std::printf("  %s\n", qPrintable(m_status));
        std::fflush(stdout);
        return;
    }
    draw();
}

void ProgressView::onProgress(double percent)
{
    m_percent = qBound(0.0, percent, 100.0);
    if (m_terminal)
        draw();
}

void ProgressView::draw()
{
    const int width = 30;
    const int filled = int(m_percent / 100.0 * width);
    const QString bar =
        QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char(' '));
    std::printf("\r\033[K[%s] %3.0f%% %s", qPrintable(bar), m_percent,
                qPrintable(m_status.left(60)));
    std::fflush(stdout);
}
