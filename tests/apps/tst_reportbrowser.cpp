// The report in a real browser: headless Chromium loads the page from disk, with no network,
// and the page's own script marks every plot with the size it rendered at and the marks it drew.

#include "reportpageparser.h"

#include <QtTest>

namespace {
const QString kChromium = QStringLiteral("/usr/bin/chromium");
}

class TstReportBrowser : public QObject
{
    Q_OBJECT

private slots:
    void everyPlotRendersInChromium();
};

void TstReportBrowser::everyPlotRendersInChromium()
{
    if (!QFileInfo::exists(kChromium))
        QSKIP("Chromium is not installed here (Debian package chromium; `make deps` installs it)");
    QTemporaryDir dir;
    const QString root = dir.path() + "/unit";
    const QString page = dir.path() + "/report.html";
    QProcess line;
    line.setProcessChannelMode(QProcess::MergedChannels);
    line.start(QStringLiteral(XRF_FACTORY_BIN),
               {"run", "--root", root, "--time-scale", "0.0001", "--report", page});
    QVERIFY(line.waitForFinished(180000));
    QVERIFY2(line.exitCode() == 0, line.readAll().constData());
    const ParsedReport written = ParsedReport::read(page);
    QVERIFY(written.plots.size() >= 8);

    QProcess browser;
    browser.start(kChromium,
                  {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                   "--no-first-run", "--disable-background-networking",
                   "--disable-component-update", "--disable-sync",
                   "--user-data-dir=" + dir.path() + "/profile", "--dump-dom",
                   QUrl::fromLocalFile(page).toString()});
    QVERIFY(browser.waitForFinished(120000));
    const QByteArray dom = browser.readAllStandardOutput();
    QVERIFY2(!dom.isEmpty(), browser.readAllStandardError().constData());
    // The dumped DOM is HTML, not XML: read the marks with patterns.
    const QRegularExpression svg(
        "<svg[^>]*data-plot=\"([^\"]+)\"[^>]*data-rendered-width=\"(\\d+)\" "
        "data-rendered-height=\"(\\d+)\" data-rendered-marks=\"(\\d+)\"");
    QStringList rendered;
    for (auto it = svg.globalMatch(QString::fromUtf8(dom)); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        QVERIFY2(match.captured(2).toInt() > 0 && match.captured(3).toInt() > 0,
                 qPrintable(match.captured(1)));
        QVERIFY2(match.captured(4).toInt() > 0, qPrintable(match.captured(1) + " drew no marks"));
        rendered << match.captured(1);
    }
    QCOMPARE(rendered.size(), written.plots.size());
    QVERIFY(dom.contains(QString("data-plots-rendered=\"%1\"").arg(written.plots.size()).toUtf8()));
}

QTEST_GUILESS_MAIN(TstReportBrowser)
#include "tst_reportbrowser.moc"
