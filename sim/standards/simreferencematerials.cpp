#include "simreferencematerials.h"

#include "xrfutils.h"

#include <QJsonArray>

namespace {

QVector<SimReferenceMaterial> buildTable()
{
    return {
        // Alloys: the stainless, nickel, copper, titanium and aluminium grades of the alloy
        // methods. SS316 is also the factory test stand's gain target.
        {QStringLiteral("SS316"),
         QStringLiteral("Stainless steel 316"),
         QStringLiteral("alloy"),
         QStringLiteral("A316-0412"),
         8.0,
         {{26, 0.6545},
          {24, 0.17},
          {28, 0.12},
          {42, 0.025},
          {25, 0.02},
          {14, 0.0075},
          {6, 0.0008},
          {15, 0.00045},
          {16, 0.0003}}},
        {QStringLiteral("SS304"),
         QStringLiteral("Stainless steel 304"),
         QStringLiteral("alloy"),
         QStringLiteral("A304-1107"),
         7.93,
         {{26, 0.7055},
          {24, 0.184},
          {28, 0.087},
          {25, 0.0165},
          {14, 0.0045},
          {29, 0.0021},
          {6, 0.0004},
          {15, 0.0003}}},
        {QStringLiteral("2205"),
         QStringLiteral("Duplex stainless steel 2205"),
         QStringLiteral("alloy"),
         QStringLiteral("A2205-0918"),
         7.8,
         {{26, 0.677}, {24, 0.22}, {28, 0.055}, {42, 0.032}, {25, 0.015}, {14, 0.001}}},
        {QStringLiteral("Inconel625"),
         QStringLiteral("Nickel alloy 625"),
         QStringLiteral("alloy"),
         QStringLiteral("N625-0233"),
         8.44,
         {{28, 0.61}, {24, 0.215}, {42, 0.09}, {41, 0.036}, {26, 0.049}}},
        {QStringLiteral("Monel400"),
         QStringLiteral("Nickel-copper alloy 400"),
         QStringLiteral("alloy"),
         QStringLiteral("N400-0517"),
         8.8,
         {{28, 0.655}, {29, 0.318}, {26, 0.016}, {25, 0.009}, {14, 0.002}}},
        {QStringLiteral("C36000"),
         QStringLiteral("Free-cutting brass C36000"),
         QStringLiteral("alloy"),
         QStringLiteral("C360-0801"),
         8.5,
         {{29, 0.615}, {30, 0.355}, {82, 0.03}}},
        {QStringLiteral("Ti64"),
         QStringLiteral("Titanium alloy Ti-6Al-4V"),
         QStringLiteral("alloy"),
         QStringLiteral("T64-0309"),
         4.43,
         {{22, 0.897}, {13, 0.06}, {23, 0.04}, {26, 0.003}}},
        {QStringLiteral("Al6061"),
         QStringLiteral("Aluminium alloy 6061"),
         QStringLiteral("alloy"),
         QStringLiteral("L6061-0626"),
         2.70,
         {{13, 0.9725},
          {12, 0.01},
          {14, 0.006},
          {26, 0.0045},
          {29, 0.0028},
          {24, 0.002},
          {30, 0.0012},
          {22, 0.001}}},
        // Precious metals.
        {QStringLiteral("AU750"),
         QStringLiteral("Gold alloy 750 (18 carat yellow)"),
         QStringLiteral("preciousMetal"),
         QStringLiteral("P750-0211"),
         15.5,
         {{79, 0.75}, {47, 0.125}, {29, 0.125}}},
        {QStringLiteral("AG925"),
         QStringLiteral("Sterling silver 925"),
         QStringLiteral("preciousMetal"),
         QStringLiteral("P925-0704"),
         10.36,
         {{47, 0.925}, {29, 0.075}}},
        {QStringLiteral("PT950"),
         QStringLiteral("Platinum alloy 950"),
         QStringLiteral("preciousMetal"),
         QStringLiteral("P950-0130"),
         20.1,
         {{78, 0.95}, {29, 0.05}}},
        // Soils and ores of the mining and soil methods; oxygen is the balance.
        {QStringLiteral("NIST2711"),
         QStringLiteral("Montana soil, moderately elevated traces"),
         QStringLiteral("soil"),
         QStringLiteral("S2711-1"),
         1.5,
         {{14, 0.304},
          {13, 0.0653},
          {26, 0.0289},
          {19, 0.0245},
          {20, 0.0288},
          {12, 0.0105},
          {11, 0.0114},
          {22, 0.00306},
          {25, 0.000638},
          {82, 0.001162},
          {30, 0.00035},
          {29, 0.000114},
          {8, 0.4916}}},
        {QStringLiteral("SL-LOAM"),
         QStringLiteral("Loam soil, background levels"),
         QStringLiteral("soil"),
         QStringLiteral("SL-0419"),
         1.4,
         {{14, 0.33},
          {13, 0.071},
          {26, 0.052},
          {19, 0.021},
          {20, 0.018},
          {22, 0.0045},
          {25, 0.0008},
          {30, 0.0001},
          {82, 0.00003},
          {8, 0.50237}}},
        {QStringLiteral("SL-PBZN"),
         QStringLiteral("Contaminated soil, lead and zinc"),
         QStringLiteral("soil"),
         QStringLiteral("SL-0822"),
         1.5,
         {{14, 0.29},
          {13, 0.06},
          {26, 0.061},
          {20, 0.035},
          {19, 0.02},
          {30, 0.012},
          {82, 0.0085},
          {29, 0.0021},
          {33, 0.0004},
          {8, 0.511}}},
        {QStringLiteral("OR-CU"),
         QStringLiteral("Porphyry copper ore"),
         QStringLiteral("ore"),
         QStringLiteral("OR-0105"),
         2.8,
         {{14, 0.26},
          {26, 0.092},
          {29, 0.061},
          {16, 0.07},
          {13, 0.06},
          {42, 0.0012},
          {47, 0.00002},
          {8, 0.45578}}},
        {QStringLiteral("OR-FE"),
         QStringLiteral("Hematite iron ore"),
         QStringLiteral("ore"),
         QStringLiteral("OR-0311"),
         4.2,
         {{26, 0.612}, {14, 0.022}, {13, 0.011}, {25, 0.0012}, {15, 0.0007}, {8, 0.3531}}},
        {QStringLiteral("OR-PBZN"),
         QStringLiteral("Lead-zinc sulphide ore"),
         QStringLiteral("ore"),
         QStringLiteral("OR-0628"),
         3.9,
         {{30, 0.121},
          {82, 0.072},
          {16, 0.118},
          {26, 0.094},
          {14, 0.15},
          {47, 0.00009},
          {8, 0.44491}}},
    };
}

} // namespace

double SimReferenceMaterial::massFraction(int z) const
{
    for (const auto &fraction : massFractions) {
        if (fraction.first == z)
            return fraction.second;
    }
    return 0;
}

const QVector<SimReferenceMaterial> &SimReferenceMaterials::all()
{
    static const QVector<SimReferenceMaterial> table = buildTable();
    return table;
}

const SimReferenceMaterial *SimReferenceMaterials::find(const QString &id)
{
    for (const SimReferenceMaterial &material : all()) {
        if (material.id.compare(id.trimmed(), Qt::CaseInsensitive) == 0)
            return &material;
    }
    return nullptr;
}

QStringList SimReferenceMaterials::ids()
{
    QStringList ids;
    for (const SimReferenceMaterial &material : all())
        ids << material.id;
    return ids;
}

QStringList SimReferenceMaterials::majorElements(const SimReferenceMaterial &material)
{
    constexpr int kLightestCheckedZ = 20;
    QStringList symbols;
    for (const auto &fraction : material.massFractions) {
        if (fraction.first >= kLightestCheckedZ && fraction.second >= kMajorFraction)
            symbols << XrfUtils::elementSymbol(fraction.first);
    }
    return symbols;
}

QJsonObject SimReferenceMaterials::wrongShotCriteria()
{
    QJsonObject standards;
    for (const SimReferenceMaterial &material : all()) {
        standards.insert(material.id,
                         QJsonObject{{QStringLiteral("present"),
                                      QJsonArray::fromStringList(majorElements(material))}});
    }
    return QJsonObject{{QStringLiteral("version"), QStringLiteral("1.0")},
                       {QStringLiteral("standards"), standards}};
}
