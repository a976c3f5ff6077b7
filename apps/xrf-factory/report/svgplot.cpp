#include "svgplot.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const int kLeft = 64;
const int kRight = 16;
const int kTop = 28;
const int kBottom = 44;
const int kTickCount = 5;
const char *const kColours[] = {"#1f6fb2", "#d9541e", "#2a9d55", "#8e44ad",
                                "#c0392b", "#b8860b", "#16a085", "#555555"};

QString colour(int index)
{
    return QString::fromLatin1(kColours[index % int(std::size(kColours))]);
}

QString number(double value)
{
    return QString::number(value, 'f', 1);
}

// A tick label: few digits, thousands as "k".
QString tickLabel(double value, double step)
{
    if (std::abs(value) >= 10000 && step >= 1000)
        return QString::number(value / 1000, 'g', 4) + QLatin1Char('k');
    const int decimals = step >= 1 ? 0 : int(std::ceil(-std::log10(step)));
    return QString::number(value, 'f', decimals);
}

double niceStep(double range)
{
    if (!(range > 0))
        return 1;
    const double raw = range / kTickCount;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * magnitude >= raw)
            return factor * magnitude;
    }
    return 10 * magnitude;
}

struct Range
{
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    void add(double v)
    {
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    bool valid() const { return low <= high; }
    // Widened to whole steps, never empty.
    void settle()
    {
        if (!valid()) {
            low = 0;
            high = 1;
        }
        if (high - low < 1e-12) {
            const double pad = std::abs(high) > 0 ? std::abs(high) * 0.1 : 1;
            low -= pad;
            high += pad;
        }
        const double step = niceStep(high - low);
        low = std::floor(low / step) * step;
        high = std::ceil(high / step) * step;
    }
};

QJsonArray toArray(const QVector<double> &values)
{
    QJsonArray array;
    for (double v : values)
        array.append(std::isfinite(v) ? QJsonValue(v) : QJsonValue());
    return array;
}
} // namespace

struct SvgPlot::Frame
{
    Range x;
    Range y;
    double left = kLeft;
    double right = 0;
    double top = kTop;
    double bottom = 0;
    double px(double v) const { return left + (v - x.low) / (x.high - x.low) * (right - left); }
    double py(double v) const { return bottom - (v - y.low) / (y.high - y.low) * (bottom - top); }
};

SvgPlot::SvgPlot(const QString &id, const QString &title) : m_id(id), m_title(title) { }

void SvgPlot::setAxes(const QString &xLabel, const QString &yLabel)
{
    m_xLabel = xLabel;
    m_yLabel = yLabel;
}

void SvgPlot::setCategories(const QStringList &categories)
{
    m_categories = categories;
}

void SvgPlot::setSize(int width, int height)
{
    m_width = width;
    m_height = height;
}

void SvgPlot::setXRange(double from, double to)
{
    m_xRangeSet = true;
    m_xFrom = from;
    m_xTo = to;
}

void SvgPlot::addSeries(const Series &series)
{
    m_series << series;
}

void SvgPlot::addSeries(const QString &name, Kind kind, const QVector<double> &x,
                        const QVector<double> &y)
{
    addSeries(Series{name, kind, x, y});
}

void SvgPlot::addVerticalMarker(double x, const QString &label)
{
    m_vertical << Marker{x, label};
}

void SvgPlot::addHorizontalMarker(double y, const QString &label)
{
    m_horizontal << Marker{y, label};
}

bool SvgPlot::isEmpty() const
{
    for (const Series &series : m_series) {
        if (!series.y.isEmpty())
            return false;
    }
    return true;
}

QString SvgPlot::escape(const QString &text)
{
    return text.toHtmlEscaped();
}

SvgPlot::Frame SvgPlot::frame() const
{
    Frame f;
    f.right = m_width - kRight;
    f.bottom = m_height - kBottom;
    if (!m_categories.isEmpty()) {
        f.x.low = -0.5;
        f.x.high = m_categories.size() - 0.5;
    } else if (m_xRangeSet) {
        f.x.low = m_xFrom;
        f.x.high = m_xTo;
    }
    for (const Series &series : m_series) {
        for (int i = 0; i < series.y.size(); ++i) {
            const double x = series.x.value(i, i);
            if (m_categories.isEmpty() && !m_xRangeSet)
                f.x.add(x);
            if (!m_xRangeSet || (x >= m_xFrom && x <= m_xTo))
                f.y.add(series.y.at(i));
        }
    }
    for (const Marker &marker : m_vertical) {
        if (m_categories.isEmpty() && !m_xRangeSet)
            f.x.add(marker.value);
    }
    for (const Marker &marker : m_horizontal)
        f.y.add(marker.value);
    if (m_yFromZero)
        f.y.add(0);
    if (m_categories.isEmpty() && !m_xRangeSet)
        f.x.settle();
    f.y.settle();
    return f;
}

QString SvgPlot::axes(const Frame &f) const
{
    QString svg = QStringLiteral("<g class=\"axes\" font-size=\"11\" fill=\"#444\">");
    svg +=
        QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#fbfbfb\" "
                       "stroke=\"#bbb\"/>")
            .arg(number(f.left), number(f.top), number(f.right - f.left), number(f.bottom - f.top));
    const double yStep = niceStep(f.y.high - f.y.low);
    for (double v = f.y.low; v <= f.y.high + yStep / 2; v += yStep) {
        const double y = f.py(v);
        svg += QStringLiteral("<line x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\" stroke=\"#e4e4e4\"/>"
                              "<text x=\"%4\" y=\"%5\" text-anchor=\"end\">%6</text>")
                   .arg(number(f.left), number(f.right), number(y), number(f.left - 4),
                        number(y + 4), tickLabel(v, yStep));
    }
    if (!m_categories.isEmpty()) {
        for (int i = 0; i < m_categories.size(); ++i)
            svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
                       .arg(number(f.px(i)), number(f.bottom + 14), escape(m_categories.at(i)));
    } else {
        const double xStep = niceStep(f.x.high - f.x.low);
        for (double v = std::ceil(f.x.low / xStep) * xStep; v <= f.x.high + xStep / 2; v += xStep)
            svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
                       .arg(number(f.px(v)), number(f.bottom + 14), tickLabel(v, xStep));
    }
    svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
               .arg(number((f.left + f.right) / 2), number(m_height - 8), escape(m_xLabel));
    svg += QStringLiteral("<text transform=\"translate(14 %1) rotate(-90)\" "
                          "text-anchor=\"middle\">%2</text>")
               .arg(number((f.top + f.bottom) / 2), escape(m_yLabel));
    svg += QStringLiteral("<text x=\"%1\" y=\"18\" font-size=\"13\" font-weight=\"bold\" "
                          "fill=\"#222\">%2</text></g>")
               .arg(number(f.left), escape(m_title));
    return svg;
}

QString SvgPlot::seriesSvg(const Frame &f, const Series &series, int index) const
{
    const QString stroke = colour(index);
    QString svg = QStringLiteral("<g class=\"series\" data-name=\"%1\" data-points=\"%2\">")
                      .arg(escape(series.name), QString::number(series.y.size()));
    if (series.kind == Line) {
        QStringList points;
        for (int i = 0; i < series.y.size(); ++i) {
            const double x = series.x.value(i, i);
            if (std::isfinite(series.y.at(i)) && x >= f.x.low && x <= f.x.high)
                points << number(f.px(x)) + QLatin1Char(',') + number(f.py(series.y.at(i)));
        }
        svg += QStringLiteral("<polyline class=\"mark\" fill=\"none\" stroke=\"%1\" "
                              "stroke-width=\"1.5\" points=\"%2\"/>")
                   .arg(stroke, points.join(QLatin1Char(' ')));
    } else if (series.kind == Points) {
        for (int i = 0; i < series.y.size(); ++i) {
            const double x = series.x.value(i, i);
            if (std::isfinite(series.y.at(i)) && x >= f.x.low && x <= f.x.high)
                svg += QStringLiteral("<circle class=\"mark\" cx=\"%1\" cy=\"%2\" r=\"3.5\" "
                                      "fill=\"%3\"/>")
                           .arg(number(f.px(x)), number(f.py(series.y.at(i))), stroke);
        }
    } else {
        const int bars = std::max(1, int(m_series.size()));
        const double slot = (f.px(1) - f.px(0)) * 0.8;
        const double width = slot / bars;
        for (int i = 0; i < series.y.size(); ++i) {
            if (!std::isfinite(series.y.at(i)))
                continue;
            const double x = f.px(series.x.value(i, i)) - slot / 2 + index * width;
            const double y = f.py(std::max(series.y.at(i), f.y.low));
            svg += QStringLiteral("<rect class=\"mark\" x=\"%1\" y=\"%2\" width=\"%3\" "
                                  "height=\"%4\" fill=\"%5\"><title>%6: %7</title></rect>")
                       .arg(number(x), number(y), number(width * 0.9),
                            number(std::max(0.5, f.py(std::max(0.0, f.y.low)) - y)), stroke,
                            escape(series.name), QString::number(series.y.at(i)));
        }
    }
    return svg + QStringLiteral("</g>");
}

QString SvgPlot::markersSvg(const Frame &f) const
{
    QString svg = QStringLiteral("<g class=\"markers\" font-size=\"10\" fill=\"#333\">");
    // Labels of neighbouring markers alternate between two heights so that they do not overlap.
    QList<Marker> vertical = m_vertical;
    std::sort(vertical.begin(), vertical.end(),
              [](const Marker &a, const Marker &b) { return a.value < b.value; });
    int shown = 0;
    for (const Marker &marker : qAsConst(vertical)) {
        if (marker.value < f.x.low || marker.value > f.x.high)
            continue;
        const double x = f.px(marker.value);
        const double labelY = (shown++ % 2) ? f.top + 10 : f.top - 3;
        svg += QStringLiteral("<line class=\"marker\" data-value=\"%1\" x1=\"%2\" x2=\"%2\" "
                              "y1=\"%3\" y2=\"%4\" stroke=\"#999\" stroke-dasharray=\"3 3\"/>"
                              "<text x=\"%2\" y=\"%5\" text-anchor=\"middle\">%6</text>")
                   .arg(QString::number(marker.value), number(x), number(f.top), number(f.bottom),
                        number(labelY), escape(marker.label));
    }
    for (const Marker &marker : m_horizontal) {
        const double y = f.py(marker.value);
        svg += QStringLiteral("<line class=\"marker\" data-value=\"%1\" x1=\"%2\" x2=\"%3\" "
                              "y1=\"%4\" y2=\"%4\" stroke=\"#c0392b\" stroke-dasharray=\"6 3\"/>"
                              "<text x=\"%5\" y=\"%6\" text-anchor=\"end\" fill=\"#c0392b\">%7"
                              "</text>")
                   .arg(QString::number(marker.value), number(f.left), number(f.right), number(y),
                        number(f.right - 4), number(y - 3), escape(marker.label));
    }
    return svg + QStringLiteral("</g>");
}

QString SvgPlot::legend() const
{
    if (m_series.size() < 2)
        return QString();
    QString html = QStringLiteral("<div class=\"legend\">");
    for (int i = 0; i < m_series.size(); ++i)
        html += QStringLiteral("<span><i style=\"background:%1\"></i>%2</span>")
                    .arg(colour(i), escape(m_series.at(i).name));
    return html + QStringLiteral("</div>");
}

QString SvgPlot::toSvg() const
{
    const Frame f = frame();
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"plot\" "
                                 "data-plot=\"%1\" viewBox=\"0 0 %2 %3\" width=\"%2\" "
                                 "height=\"%3\" role=\"img\" aria-label=\"%4\">")
                      .arg(escape(m_id))
                      .arg(m_width)
                      .arg(m_height)
                      .arg(escape(m_title));
    svg += axes(f);
    for (int i = 0; i < m_series.size(); ++i)
        svg += seriesSvg(f, m_series.at(i), i);
    svg += markersSvg(f);
    return svg + QStringLiteral("</svg>");
}

QJsonObject SvgPlot::data() const
{
    QJsonArray series;
    for (const Series &s : m_series) {
        QVector<double> x = s.x;
        for (int i = x.size(); i < s.y.size(); ++i)
            x << i;
        series.append(QJsonObject{{QStringLiteral("name"), s.name},
                                  {QStringLiteral("x"), toArray(x)},
                                  {QStringLiteral("y"), toArray(s.y)}});
    }
    QJsonArray markers;
    for (const Marker &m : m_vertical)
        markers.append(
            QJsonObject{{QStringLiteral("x"), m.value}, {QStringLiteral("label"), m.label}});
    for (const Marker &m : m_horizontal)
        markers.append(
            QJsonObject{{QStringLiteral("y"), m.value}, {QStringLiteral("label"), m.label}});
    QJsonObject data{{QStringLiteral("plot"), m_id},
                     {QStringLiteral("title"), m_title},
                     {QStringLiteral("series"), series},
                     {QStringLiteral("markers"), markers}};
    if (!m_categories.isEmpty())
        data.insert(QStringLiteral("categories"), QJsonArray::fromStringList(m_categories));
    return data;
}

QString SvgPlot::toHtml() const
{
    // The data block is JSON inside a script element: "<" and "&" are written as escapes so the
    // page stays well-formed and no text can close the element.
    QString json = QString::fromUtf8(QJsonDocument(data()).toJson(QJsonDocument::Compact));
    json.replace(QLatin1Char('<'), QStringLiteral("\\u003c"));
    json.replace(QLatin1Char('&'), QStringLiteral("\\u0026"));
    return QStringLiteral("<figure class=\"chart\">") + toSvg() + legend()
        + QStringLiteral("<script type=\"application/json\" class=\"plot-data\" "
                         "data-plot=\"%1\">%2</script></figure>")
              .arg(escape(m_id), json);
}
