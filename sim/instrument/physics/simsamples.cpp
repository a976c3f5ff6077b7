#include "simsamples.h"

#include "simreferencematerials.h"

#include <QMap>
#include <QRegularExpression>

#include <mutex>

namespace {

using Fractions = QVector<QPair<int, double>>;

SimMaterial alloy(const QString &name, const Fractions &fractions, double density)
{
    return SimMaterial::fromFractions(name, fractions, density);
}

QMap<QString, SimMaterial> builtInSamples()
{
    QMap<QString, SimMaterial> samples;
    auto add = [&samples](const SimMaterial &material) {
        samples.insert(material.name.toLower(), material);
    };
    add(alloy(QStringLiteral("air"), {{7, 0.7553}, {8, 0.2318}, {18, 0.0128}, {6, 0.0001}},
              0.001205));
    samples[QStringLiteral("air")].thicknessUm = 10000;
    add(SimMaterial::fromFormula(QStringLiteral("Al"), QStringLiteral("Al"), 2.70));
    add(SimMaterial::fromFormula(QStringLiteral("SiO2"), QStringLiteral("SiO2"), 2.65));
    add(SimMaterial::fromFormula(QStringLiteral("Cu"), QStringLiteral("Cu"), 8.96));
    add(SimMaterial::fromFormula(QStringLiteral("BrCu"), QStringLiteral("KBr"), 2.75));
    add(SimMaterial::fromFormula(QStringLiteral("Pb"), QStringLiteral("Pb"), 11.34));
    // The certified reference materials, with their certified compositions.
    for (const SimReferenceMaterial &standard : SimReferenceMaterials::all())
        add(alloy(standard.id, standard.massFractions, standard.density));
    return samples;
}

// The collimated stability target: a Cu plate whose KBr coating thickens across the window, so
// the Br/Cu intensity ratio tracks where the collimated beam spot lands.
constexpr double kBrCuGradientUm = 21000;

struct Catalogue
{
    std::mutex mutex;
    QMap<QString, SimMaterial> samples = builtInSamples();
};

Catalogue &catalogue()
{
    static Catalogue instance;
    return instance;
}

double weightedDensity(const Fractions &fractions)
{
    double density = 0;
    for (const auto &fraction : fractions)
        density += fraction.second * SimPhysics::elementDensity(fraction.first);
    return density > 0 ? density : 1.0;
}

bool parseFractions(const QString &text, Fractions *fractions)
{
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList pair = part.split(QLatin1Char(':'));
        bool ok = false;
        const double fraction = pair.value(1).toDouble(&ok);
        const int z = SimPhysics::atomicNumber(pair.value(0).trimmed());
        if (pair.size() != 2 || !ok || z == 0 || fraction <= 0)
            return false;
        fractions->append({z, fraction});
    }
    return !fractions->isEmpty();
}

SimMaterial parseComposition(const QString &name)
{
    const QStringList parts = name.split(QLatin1Char('@'));
    bool densityOk = parts.size() == 2;
    const double density = densityOk ? parts.at(1).toDouble(&densityOk) : 0;
    if (parts.size() > 2 || (parts.size() == 2 && (!densityOk || density <= 0)))
        return {};
    const QString composition = parts.at(0).trimmed();
    Fractions fractions;
    if (composition.contains(QLatin1Char(':'))) {
        if (!parseFractions(composition, &fractions))
            return {};
        return SimMaterial::fromFractions(name, fractions,
                                          densityOk ? density : weightedDensity(fractions));
    }
    SimMaterial material = SimMaterial::fromFormula(name, composition, 1.0);
    if (material.isValid())
        material.density = densityOk ? density : weightedDensity(material.massFractions);
    return material;
}

} // namespace

QStringList SimSamples::names()
{
    Catalogue &c = catalogue();
    std::lock_guard<std::mutex> lock(c.mutex);
    QStringList names;
    for (const SimMaterial &material : qAsConst(c.samples))
        names.append(material.name);
    return names;
}

bool SimSamples::find(const QString &name, SimSample *sample)
{
    SimMaterial material;
    {
        Catalogue &c = catalogue();
        std::lock_guard<std::mutex> lock(c.mutex);
        material = c.samples.value(name.trimmed().toLower());
    }
    if (!material.isValid())
        material = parseComposition(name);
    if (!material.isValid())
        return false;
    *sample = SimSample();
    sample->name = name.trimmed();
    sample->material = material;
    if (name.trimmed().compare(QLatin1String("BrCu"), Qt::CaseInsensitive) == 0) {
        sample->secondMaterial =
            SimMaterial::fromFormula(QStringLiteral("Cu"), QStringLiteral("Cu"), 8.96);
        sample->gradientUm = kBrCuGradientUm;
    }
    return true;
}

void SimSamples::define(const QString &name, const QVector<QPair<int, double>> &massFractions,
                        double density)
{
    const SimMaterial material = SimMaterial::fromFractions(name, massFractions, density);
    if (!material.isValid())
        return;
    Catalogue &c = catalogue();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.samples.insert(name.trimmed().toLower(), material);
}
