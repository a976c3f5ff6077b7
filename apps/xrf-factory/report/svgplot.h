#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

// A small chart drawn as inline SVG, with its data beside it for readers and tests: the <svg>
// carries class "plot" and data-plot="<id>", each series a <g class="series" data-name=...
// data-points=N>, and toHtml() adds a <script type="application/json" class="plot-data"> with
// every series' x and y. Numeric x by default; with categories, x is the category's index and
// bars stand side by side.
class SvgPlot
{
public:
    enum Kind { Line, Points, Bars };

    struct Series
    {
        QString name;
        Kind kind = Line;
        QVector<double> x;
        QVector<double> y;
    };

    SvgPlot(const QString &id, const QString &title);

    void setAxes(const QString &xLabel, const QString &yLabel);
    void setCategories(const QStringList &categories);
    void setSize(int width, int height);
    void setYFromZero(bool fromZero) { m_yFromZero = fromZero; }
    void setXRange(double from, double to);

    void addSeries(const Series &series);
    void addSeries(const QString &name, Kind kind, const QVector<double> &x,
                   const QVector<double> &y);
    // A labelled vertical line at x (a found position, a peak).
    void addVerticalMarker(double x, const QString &label);
    // A dashed horizontal line at y (a target, a limit).
    void addHorizontalMarker(double y, const QString &label);

    bool isEmpty() const;
    QString toSvg() const;
    // The SVG followed by its data block.
    QString toHtml() const;
    QJsonObject data() const;

    static QString escape(const QString &text);

private:
    struct Marker
    {
        double value = 0;
        QString label;
    };
    struct Frame;

    Frame frame() const;
    QString axes(const Frame &frame) const;
    QString seriesSvg(const Frame &frame, const Series &series, int index) const;
    QString markersSvg(const Frame &frame) const;
    QString legend() const;

    QString m_id;
    QString m_title;
    QString m_xLabel;
    QString m_yLabel;
    QStringList m_categories;
    int m_width = 640;
    int m_height = 280;
    bool m_yFromZero = true;
    bool m_xRangeSet = false;
    double m_xFrom = 0;
    double m_xTo = 0;
    QList<Series> m_series;
    QList<Marker> m_vertical;
    QList<Marker> m_horizontal;
};
