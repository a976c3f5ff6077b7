// Element symbols, atomic numbers and emission line energies from xraylib, and the rule for
// names that become part of a path.

#include "xrfutils.h"

#include <xraylib.h>

namespace {

constexpr int kHeaviestElement = 118;

int xraylibLine(XrfUtils::EmissionLine line)
{
    switch (line) {
    case XrfUtils::KAlpha:
        return KA_LINE;
    case XrfUtils::KBeta:
        return KB_LINE;
    case XrfUtils::LAlpha:
        return LA_LINE;
    case XrfUtils::LBeta:
        return LB_LINE;
    }
    return KA_LINE;
}

} // namespace

int XrfUtils::atomicNumber(const QString &symbol)
{
    const QByteArray text = symbol.trimmed().toLatin1();
    if (text.isEmpty() || text.size() > 3)
        return 0;
    xrl_error *error = nullptr;
    const int z = SymbolToAtomicNumber(text.constData(), &error);
    if (error) {
        xrl_error_free(error);
        return 0;
    }
    return z;
}

QString XrfUtils::elementSymbol(int atomicNumber)
{
    if (atomicNumber < 1 || atomicNumber > kHeaviestElement)
        return QString();
    xrl_error *error = nullptr;
    char *symbol = AtomicNumberToSymbol(atomicNumber, &error);
    if (error) {
        xrl_error_free(error);
        return QString();
    }
    const QString text = QString::fromLatin1(symbol);
    xrlFree(symbol);
    return text;
}

double XrfUtils::emissionLineEnergy(int atomicNumber, EmissionLine line)
{
    if (atomicNumber < 1 || atomicNumber > kHeaviestElement)
        return 0;
    xrl_error *error = nullptr;
    const double energy = LineEnergy(atomicNumber, xraylibLine(line), &error);
    if (error) {
        xrl_error_free(error);
        return 0;
    }
    return energy;
}

bool XrfUtils::isSafePathComponent(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}
