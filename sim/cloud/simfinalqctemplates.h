#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The final QC batch templates the simulated cloud publishes for an instrument: a zip archive with
// one template "<method id>_fqc.json" per method of the instrument's method part map (the
// collimated twin of a dual method included):
// {"version", "methodId", "displayName", "checkSample", "elements", "tolerance", "minTolerance"}.
// The check sample is the first standard of the method's template; the elements are the ones the
// method analyses among its major elements (SimReferenceMaterials::majorElements), else among
// those certified at 1 % or more. A computed mass fraction passes within "tolerance" (relative,
// of the certified value) or "minTolerance" (absolute mass fraction), whichever is larger. The
// absolute floor is the accuracy a straight-line factor set reaches across matrices: nickel in
// steel, fitted together with a nickel alloy standard, misses by up to 3 %.
namespace SimFinalQcTemplates {
constexpr double kTolerance = 0.25;
constexpr double kMinTolerance = 0.03;
constexpr double kTraceFraction = 0.01;
// The templates of a calibration defaults folder ("methodsPartIdMap*.json" and
// "methodTemplates/CalcMethodTemplate_<name>.json"); empty when it names no method.
QByteArray forCalibrationDefaults(const QString &folder);
// An archive whose one template tries to escape the folder it is unpacked into ("../../<name>").
QByteArray hostile(const QString &escapeName);
} // namespace SimFinalQcTemplates
