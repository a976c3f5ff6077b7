#include "progressview.h"

#include "xrffactorymanager.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
const int kBarWidth = 20;
const int kStepWidth = 20;
// A terminal is redrawn at most this often, unless the status text changes.
const int kRedrawMs = 50;
const int kFallbackColumns = 100;

int terminalColumns()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return kFallbackColumns;
}

QString remainingText(int seconds)
{
    if (seconds <= 0)
        return QString();
    return QStringLiteral("%1:%2 left")
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

ProgressView::ProgressView(QObject *parent) : ProgressView(isatty(STDOUT_FILENO), parent) { }

ProgressView::ProgressView(bool terminal, QObject *parent) : QObject(parent), m_terminal(terminal)
{
    XrfFactoryManager *manager = XrfFactoryManager::instance();
    connect(manager, &XrfFactoryManager::currentTaskStatusChanged, this, &ProgressView::onStatus);
    connect(manager, &XrfFactoryManager::currentTaskProgressChanged, this,
            &ProgressView::onProgress);
    connect(manager, &XrfFactoryManager::currentTaskTimeRemainingInSecondsChanged, this,
            &ProgressView::onRemaining);
}

QString ProgressView::line(const QString &step, double percent, int remainingSeconds,
                           const QString &status, int width)
{
    const int filled = qBound(0, int(percent / 100.0 * kBarWidth), kBarWidth);
    QString text =
        QStringLiteral("%1 [%2%3] %4% %5 %6")
            .arg(step, -kStepWidth)
            .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('.')))
            .arg(qRound(qBound(0.0, percent, 100.0)), 3)
            .arg(remainingText(remainingSeconds), -10)
            .arg(status);
    text = text.trimmed();
    if (width > 0 && text.size() > width)
        text.truncate(width);
    return text;
}

void ProgressView::stepStarted(const QString &step)
{
    m_step = step;
    m_status.clear();
    m_percent = 0;
    m_remaining = -1;
    if (m_terminal)
        draw(true);
    else
        print(QStringLiteral("%1 started").arg(step, -kStepWidth));
}

void ProgressView::stepFinished(const StepOutcome &outcome)
{
    const QString text = QStringLiteral("%1 %2 in %3 s  %4")
                             .arg(outcome.step, -kStepWidth)
                             .arg(outcome.resultText())
                             .arg(outcome.seconds, 0, 'f', 1)
                             .arg(outcome.detail);
    if (m_terminal) {
        std::printf("\r\033[K%s\n", qPrintable(text.left(terminalColumns() - 1)));
        std::fflush(stdout);
    } else {
        print(text);
    }
    m_step.clear();
}

void ProgressView::onStatus(const QString &status)
{
    const QString text = status.simplified();
    if (text == m_status)
        return;
    m_status = text;
    if (m_terminal)
        draw(true);
    else if (!m_status.isEmpty())
        print(line(m_step, m_percent, m_remaining, m_status));
}

void ProgressView::onProgress(double percent)
{
    m_percent = qBound(0.0, percent, 100.0);
    if (m_terminal)
        draw(false);
}

void ProgressView::onRemaining(int seconds)
{
    m_remaining = seconds;
    if (m_terminal)
        draw(false);
}

void ProgressView::draw(bool force)
{
    if (!force && m_lastDraw.isValid() && m_lastDraw.elapsed() < kRedrawMs)
        return;
    m_lastDraw.start();
    const QString text = line(m_step, m_percent, m_remaining, m_status, terminalColumns() - 1);
    std::printf("\r\033[K%s", qPrintable(text));
    std::fflush(stdout);
}

void ProgressView::print(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}
