#pragma once

// Reads a report page as the tests see it: its step rows, its plots and their data blocks.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QXmlStreamReader>

struct ParsedReport
{
    bool wellFormed = false;
    QString error;
    QMap<QString, QString> stepResults; // data-step -> data-result of the step rows
    QMap<QString, double> stepSeconds;
    QMap<QString, QXmlStreamAttributes> plots; // data-plot -> the <svg>'s attributes
    QMap<QString, QJsonObject> plotData; // data-plot -> its data block
    QString body; // the <body>'s attributes as "name=value;"
    QString text;

    static ParsedReport parse(const QByteArray &html)
    {
        ParsedReport report;
        QXmlStreamReader xml(html);
        QString dataFor;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isCharacters())
                report.text += xml.text();
            if (!xml.isStartElement())
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            if (xml.name() == QLatin1String("tr") && attributes.hasAttribute("data-step")) {
                const QString step = attributes.value("data-step").toString();
                report.stepResults.insert(step, attributes.value("data-result").toString());
                report.stepSeconds.insert(step, attributes.value("data-seconds").toDouble());
            } else if (xml.name() == QLatin1String("svg")) {
                report.plots.insert(attributes.value("data-plot").toString(), attributes);
            } else if (xml.name() == QLatin1String("script")
                       && attributes.value("class") == QLatin1String("plot-data")) {
                const QString plot = attributes.value("data-plot").toString();
                report.plotData.insert(
                    plot, QJsonDocument::fromJson(xml.readElementText().toUtf8()).object());
            } else if (xml.name() == QLatin1String("body")) {
                for (const QXmlStreamAttribute &attribute : attributes)
                    report.body += attribute.name() + "=" + attribute.value() + ";";
            }
        }
        report.wellFormed = !xml.hasError();
        report.error = xml.errorString();
        return report;
    }

    static ParsedReport read(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return ParsedReport();
        return parse(file.readAll());
    }

    // The values of one series of a plot.
    QJsonArray series(const QString &plot, const QString &name, const char *axis = "y") const
    {
        for (const QJsonValue &s : plotData.value(plot).value("series").toArray()) {
            if (s.toObject().value("name").toString() == name)
                return s.toObject().value(QLatin1String(axis)).toArray();
        }
        return QJsonArray();
    }
};
