#include "reportcommand.h"

#include "reportpage.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

bool writeReport(const QString &root, const QString &file, QTextStream &out, QTextStream &err)
{
    QString error;
    if (!ReportPage::write(file, ReportPage::forRoot(root), &error)) {
        err << error << '\n' << Qt::flush;
        return false;
    }
    out << "Report:                  " << QFileInfo(file).absoluteFilePath() << '\n' << Qt::flush;
    return true;
}

int reportCommand(QCommandLineParser &parser, const QStringList &arguments)
{
    const QCommandLineOption root(QStringLiteral("root"), QStringLiteral("Instrument root folder."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption outFile(QStringLiteral("out"),
                                     QStringLiteral("The HTML file (default: DIR/report.html)."),
                                     QStringLiteral("FILE"));
    parser.addOptions({root, outFile});
    parser.process(arguments);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!parser.isSet(root)) {
        err << "report needs --root DIR\n\n" << parser.helpText() << Qt::flush;
        return 2;
    }
    const QString dir = parser.value(root);
    if (!QDir(dir).exists()) {
        err << "No instrument root at " << dir << '\n' << Qt::flush;
        return 1;
    }
    const QString file =
        parser.isSet(outFile) ? parser.value(outFile) : dir + QStringLiteral("/report.html");
    return writeReport(dir, file, out, err) ? 0 : 1;
}
