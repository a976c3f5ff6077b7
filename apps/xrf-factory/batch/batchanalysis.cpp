#include "batchanalysis.h"

#include "reportdata.h"
#include "runlog.h"
#include "stepsequence.h"
#include "svgplot.h"

#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {
const int kHistogramBins = 10;

bool passedResult(const QString &result)
{
    return result == QLatin1String("PASSED") || result == QLatin1String("SKIPPED");
}

// The measurements of one unit that a batch compares.
QMap<QString, double> unitMeasurements(const QJsonObject &lastResult)
{
    QMap<QString, double> values;
    const QJsonArray gain = hardwareSubStepResults(lastResult, QStringLiteral("fpgaGainSetup"))
                                .value(QStringLiteral("iterations"))
                                .toArray();
    if (!gain.isEmpty()) {
        const QJsonObject first = gain.first().toObject();
        const double oldGain = first.value(QStringLiteral("oldGain")).toDouble();
        if (oldGain > 0)
            values.insert(QStringLiteral("FPGA gain correction (%)"),
                          (first.value(QStringLiteral("newGain")).toDouble() / oldGain - 1) * 100);
    }
    const QJsonObject pairs =
        hardwareSubStepResults(lastResult, QStringLiteral("collimatorRatioSetup"))
            .value(QStringLiteral("filterPairs"))
            .toObject();
    for (auto it = pairs.begin(); it != pairs.end(); ++it)
        values.insert(QStringLiteral("Collimator ratio %1").arg(it.key()),
                      it.value()
                          .toObject()
                          .value(QStringLiteral("unCollimatedToCollimatedIcrRatio"))
                          .toDouble());
    const QJsonArray widths =
        hardwareSubStepResults(lastResult, QStringLiteral("detectorMicroReset"))
            .value(QStringLiteral("resetWidth"))
            .toArray();
    if (!widths.isEmpty())
        values.insert(QStringLiteral("Reset width DAC"), widths.last().toDouble());
    const QJsonObject stability = lastResult.value(QStringLiteral("stability"))
                                      .toObject()
                                      .value(QStringLiteral("stabilityTestMetaInfo"))
                                      .toObject();
    const double resolution = stability.value(QStringLiteral("averageResolution")).toDouble();
    const double icr = stability.value(QStringLiteral("averageInputCountRate")).toDouble();
    if (resolution > 0)
        values.insert(QStringLiteral("Resolution (eV)"), resolution);
    if (icr > 0)
        values.insert(QStringLiteral("Stability ICR spread (%)"),
                      (stability.value(QStringLiteral("maxInputCountRate")).toDouble()
                       - stability.value(QStringLiteral("minInputCountRate")).toDouble())
                          / icr * 100);
    for (const QJsonValue &beam : lastResult.value(QStringLiteral("beamsSetup"))
                                      .toObject()
                                      .value(QStringLiteral("result"))
                                      .toObject()
                                      .value(QStringLiteral("beams"))
                                      .toArray())
        values.insert(QStringLiteral("Beam current %1 (uA)")
                          .arg(beam.toObject().value(QStringLiteral("beamName")).toString()),
                      beam.toObject().value(QStringLiteral("tubeCurrentUa")).toDouble());
    return values;
}

// The worst fit of each method's factor set: the lowest R² over its elements.
void addFitQuality(const QString &root, QMap<QString, double> *values)
{
    for (const InstalledCalibration &method : installedCalibrations(root)) {
        double lowest = qQNaN();
        for (const QJsonValue &element :
             method.calibration.value(QStringLiteral("elements")).toArray()) {
            const double rSquared = element.toObject().value(QStringLiteral("rSquared")).toDouble();
            lowest = std::isnan(lowest) ? rSquared : std::min(lowest, rSquared);
        }
        if (!std::isnan(lowest))
            values->insert(QStringLiteral("Factor set lowest R² %1").arg(method.methodId), lowest);
    }
}

QString folded(const QString &message)
{
    static const QRegularExpression number(QStringLiteral("-?\\d+(\\.\\d+)?"));
    return QString(message).replace(number, QStringLiteral("#")).simplified();
}

struct Statistics
{
    double mean = 0;
    double sd = 0;
    double min = 0;
    double median = 0;
    double max = 0;
};

Statistics statisticsOf(QVector<double> values)
{
    Statistics s;
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    s.min = values.first();
    s.max = values.last();
    s.median = values.at(values.size() / 2);
    for (double v : values)
        s.mean += v / values.size();
    for (double v : values)
        s.sd += (v - s.mean) * (v - s.mean);
    s.sd = values.size() > 1 ? std::sqrt(s.sd / (values.size() - 1)) : 0;
    return s;
}

QString histogram(const QString &id, const QString &name, const QVector<double> &values)
{
    const Statistics s = statisticsOf(values);
    const double width = s.max > s.min ? (s.max - s.min) / kHistogramBins : 1;
    const int bins = s.max > s.min ? kHistogramBins : 1;
    QVector<double> counts(bins, 0);
    QStringList centres;
    for (int i = 0; i < bins; ++i)
        centres << QString::number(s.min + (i + 0.5) * width, 'g', 4);
    for (double v : values)
        counts[std::min(bins - 1, int((v - s.min) / width))] += 1;
    SvgPlot plot(id, name);
    plot.setSize(440, 240);
    plot.setCategories(centres);
    plot.setAxes(name, QStringLiteral("units"));
    plot.addSeries(QStringLiteral("units"), SvgPlot::Bars, QVector<double>(), counts);
    return plot.toHtml();
}
} // namespace

void BatchAnalysis::addUnit(const Unit &unit)
{
    m_units << unit;
}

QList<BatchAnalysis::StepYield> BatchAnalysis::yieldPerStep() const
{
    QList<StepYield> yields;
    for (const QString &step : StepSequence::allSteps() + StepSequence::pseudoSteps()) {
        StepYield yield;
        yield.step = step;
        for (const Unit &unit : m_units) {
            for (const QJsonValue &value : unit.runLog.value(QStringLiteral("steps")).toArray()) {
                const QJsonObject entry = value.toObject();
                if (entry.value(QStringLiteral("step")).toString() != step)
                    continue;
                const QString result = entry.value(QStringLiteral("result")).toString();
                ++yield.reached;
                yield.passed += passedResult(result) ? 1 : 0;
                yield.failed += result == QLatin1String("FAILED") ? 1 : 0;
            }
        }
        if (yield.reached > 0)
            yields << yield;
    }
    return yields;
}

int BatchAnalysis::unitsDone() const
{
    return int(std::count_if(m_units.begin(), m_units.end(), [](const Unit &u) { return u.done; }));
}

int BatchAnalysis::unitsPassed() const
{
    int passed = 0;
    for (const Unit &unit : m_units) {
        const QJsonArray steps = unit.runLog.value(QStringLiteral("steps")).toArray();
        passed += unit.done && !steps.isEmpty()
                && std::all_of(steps.begin(), steps.end(),
                               [](const QJsonValue &step) {
                                   return passedResult(
                                       step.toObject().value(QStringLiteral("result")).toString());
                               })
            ? 1
            : 0;
    }
    return passed;
}

QList<QPair<QString, int>> BatchAnalysis::pareto() const
{
    QMap<QString, int> counts;
    for (const Unit &unit : m_units) {
        for (const QJsonValue &value : unit.runLog.value(QStringLiteral("steps")).toArray()) {
            const QJsonObject entry = value.toObject();
            if (entry.value(QStringLiteral("result")).toString() != QLatin1String("FAILED"))
                continue;
            ++counts[entry.value(QStringLiteral("step")).toString() + QStringLiteral(": ")
                     + folded(entry.value(QStringLiteral("detail")).toString())];
        }
    }
    QList<QPair<QString, int>> ranked;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        ranked << qMakePair(it.key(), it.value());
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto &a, const auto &b) { return a.second > b.second; });
    return ranked;
}

QMap<QString, QVector<double>> BatchAnalysis::measurements() const
{
    QMap<QString, QVector<double>> all;
    for (const Unit &unit : m_units) {
        QMap<QString, double> values = unitMeasurements(unit.lastResult);
        addFitQuality(unit.root, &values);
        for (auto it = values.begin(); it != values.end(); ++it)
            all[it.key()] << it.value();
    }
    return all;
}

QString BatchAnalysis::text() const
{
    QString text;
    QTextStream out(&text);
    out << "Units done: " << unitsDone() << " of " << m_units.size()
        << ", passed every step: " << unitsPassed() << "\n\n";
    out << Qt::left << qSetFieldWidth(22) << "Step" << qSetFieldWidth(9) << "Reached"
        << "Passed"
        << "Failed" << qSetFieldWidth(0) << "Yield\n";
    for (const StepYield &y : yieldPerStep())
        out << qSetFieldWidth(22) << y.step << qSetFieldWidth(9) << y.reached << y.passed
            << y.failed << qSetFieldWidth(0)
            << QString::number(100.0 * y.passed / y.reached, 'f', 1) << " %\n";
    const QList<QPair<QString, int>> failures = pareto();
    out << "\nFailures by message" << (failures.isEmpty() ? ": none" : "") << '\n';
    int cumulative = 0;
    int total = 0;
    for (const auto &failure : failures)
        total += failure.second;
    for (const auto &failure : failures) {
        cumulative += failure.second;
        out << Qt::right << qSetFieldWidth(4) << failure.second << qSetFieldWidth(6)
            << QString::number(100.0 * cumulative / total, 'f', 0) + QLatin1Char('%')
            << qSetFieldWidth(0) << Qt::left << "  " << failure.first << '\n';
    }
    out << "\nMeasurements" << Qt::left << '\n'
        << qSetFieldWidth(32) << "" << qSetFieldWidth(4) << "n" << qSetFieldWidth(11) << "mean"
        << "sd"
        << "min"
        << "median"
        << "max" << qSetFieldWidth(0) << '\n';
    const QMap<QString, QVector<double>> values = measurements();
    for (auto it = values.begin(); it != values.end(); ++it) {
        const Statistics s = statisticsOf(it.value());
        out << qSetFieldWidth(32) << it.key() << qSetFieldWidth(4) << it.value().size()
            << qSetFieldWidth(11);
        for (double v : {s.mean, s.sd, s.min, s.median, s.max})
            out << QString::number(v, 'g', 5);
        out << qSetFieldWidth(0) << '\n';
    }
    return text;
}

QList<ReportSection> BatchAnalysis::sections() const
{
    QList<ReportSection> sections;
    QList<QStringList> rows;
    for (const StepYield &y : yieldPerStep())
        rows << QStringList{y.step, QString::number(y.reached), QString::number(y.passed),
                            QString::number(y.failed),
                            QString::number(100.0 * y.passed / y.reached, 'f', 1)};
    sections << ReportSection{
        QStringLiteral("yield"), QStringLiteral("Yield per step"),
        htmlTable(QStringLiteral("data"),
                  {QStringLiteral("Step"), QStringLiteral("Reached"), QStringLiteral("Passed"),
                   QStringLiteral("Failed"), QStringLiteral("Yield %")},
                  rows)};
    rows.clear();
    for (const auto &failure : pareto())
        rows << QStringList{QString::number(failure.second), SvgPlot::escape(failure.first)};
    sections << ReportSection{
        QStringLiteral("pareto"), QStringLiteral("Failures by message"),
        rows.isEmpty()
            ? QStringLiteral("<p>No failures.</p>")
            : htmlTable(QStringLiteral("data"),
                        {QStringLiteral("Units"), QStringLiteral("Step: message")}, rows)};
    QString plots = QStringLiteral("<div class=\"row\">");
    const QMap<QString, QVector<double>> values = measurements();
    int index = 0;
    for (auto it = values.begin(); it != values.end(); ++it)
        plots += histogram(QStringLiteral("measurement%1").arg(index++), it.key(), it.value());
    sections << ReportSection{QStringLiteral("measurements"), QStringLiteral("Measurements"),
                              plots + QStringLiteral("</div>")};
    return sections;
}
