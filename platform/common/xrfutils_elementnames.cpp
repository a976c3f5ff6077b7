// The English names of the chemical elements, as work orders name custom-region materials.

#include "xrfutils.h"

#include <QHash>

namespace {

// Index + 1 is the atomic number.
const char *const kElementNames[] = {
    "Hydrogen",     "Helium",      "Lithium",     "Beryllium",  "Boron",        "Carbon",
    "Nitrogen",     "Oxygen",      "Fluorine",    "Neon",       "Sodium",       "Magnesium",
    "Aluminium",    "Silicon",     "Phosphorus",  "Sulfur",     "Chlorine",     "Argon",
    "Potassium",    "Calcium",     "Scandium",    "Titanium",   "Vanadium",     "Chromium",
    "Manganese",    "Iron",        "Cobalt",      "Nickel",     "Copper",       "Zinc",
    "Gallium",      "Germanium",   "Arsenic",     "Selenium",   "Bromine",      "Krypton",
    "Rubidium",     "Strontium",   "Yttrium",     "Zirconium",  "Niobium",      "Molybdenum",
    "Technetium",   "Ruthenium",   "Rhodium",     "Palladium",  "Silver",       "Cadmium",
    "Indium",       "Tin",         "Antimony",    "Tellurium",  "Iodine",       "Xenon",
    "Caesium",      "Barium",      "Lanthanum",   "Cerium",     "Praseodymium", "Neodymium",
    "Promethium",   "Samarium",    "Europium",    "Gadolinium", "Terbium",      "Dysprosium",
    "Holmium",      "Erbium",      "Thulium",     "Ytterbium",  "Lutetium",     "Hafnium",
    "Tantalum",     "Tungsten",    "Rhenium",     "Osmium",     "Iridium",      "Platinum",
    "Gold",         "Mercury",     "Thallium",    "Lead",       "Bismuth",      "Polonium",
    "Astatine",     "Radon",       "Francium",    "Radium",     "Actinium",     "Thorium",
    "Protactinium", "Uranium",     "Neptunium",   "Plutonium",  "Americium",    "Curium",
    "Berkelium",    "Californium", "Einsteinium", "Fermium",    "Mendelevium",  "Nobelium",
    "Lawrencium",
};

QHash<QString, int> buildNameTable()
{
    QHash<QString, int> table;
    int z = 0;
    for (const char *name : kElementNames)
        table.insert(QString::fromLatin1(name).toLower(), ++z);
    // The American spellings.
    table.insert(QStringLiteral("aluminum"), 13);
    table.insert(QStringLiteral("sulphur"), 16);
    table.insert(QStringLiteral("cesium"), 55);
    return table;
}

} // namespace

int XrfUtils::atomicNumberFromFullName(const QString &name)
{
    static const QHash<QString, int> table = buildNameTable();
    return table.value(name.trimmed().toLower(), -1);
}
