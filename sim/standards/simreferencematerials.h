#pragma once

#include <QJsonObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// The certified reference materials of the factory: the alloy, precious metal, soil and ore
// standards that the calibration methods are shot on, with their certified compositions. This
// table is the only place the compositions live: the simulated instrument builds the spectrum of
// a standard placed at its window from it, and the simulated cloud derives its wrong-shot
// criteria (and fits factor sets) from it.
struct SimReferenceMaterial
{
    QString id; // the sample ID of the method templates, e.g. "SS304"
    QString name; // the certificate's name of the material
    QString kind; // "alloy", "preciousMetal", "soil" or "ore"
    QString lot;
    double density = 1.0; // g/cm3
    // Certified mass fractions by atomic number; the balance of a soil or ore is in the list too.
    QVector<QPair<int, double>> massFractions;

    // The certified mass fraction of element `z`; 0 when the certificate does not list it.
    double massFraction(int z) const;
};

namespace SimReferenceMaterials {

const QVector<SimReferenceMaterial> &all();
// The material with `id` (case-insensitive); null when there is none.
const SimReferenceMaterial *find(const QString &id);
QStringList ids();

// Elements whose lines every good shot of the material shows: certified at or above
// `kMajorFraction`, heavy enough (Z 20 and up) for their K or L lines to cross the air path.
constexpr double kMajorFraction = 0.05;
QStringList majorElements(const SimReferenceMaterial &material);
// The wrong-shot criteria the cloud publishes: {"version", "standards": {id: {"present":
// [symbols]}}}, symbols of majorElements().
QJsonObject wrongShotCriteria();

} // namespace SimReferenceMaterials
