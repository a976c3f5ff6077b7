#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The synthetic shot packages the simulated cloud publishes: zip archives of prepared methods.
namespace SimSyntheticPackage {
// The package for the synthetic methods of a method part map ({"methods": {"default": ...}}):
// for each synthetic method (and the collimated twin of a dual one) a folder named by its method
// id, with "selection.json" (sets by detector resolution, FWHM in eV) and a prepared
// "CalcMethod_<id>.json" in every set's folder. Empty when the map has no synthetic method.
QByteArray forMethodMap(const QJsonObject &methodMap);
// An archive that tries to escape the folder it is unpacked into: a link to "/etc", then an entry
// "../../<name>", beside an ordinary method folder.
QByteArray hostile(const QString &escapeName);
} // namespace SimSyntheticPackage
