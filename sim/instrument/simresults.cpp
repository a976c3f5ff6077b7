#include "simresults.h"

#include "xrfresultmanager.h"

#include <QJsonObject>

namespace {
struct CheckSample
{
    const char *method;
    const char *sample;
    double fe, cr, ni, cu, zn;
};

// The check samples a factory runs on a new instrument, with their certified mass fractions.
const CheckSample kSamples[] = {
    {"Alloy", "SS316", 0.68, 0.17, 0.12, 0.0, 0.0},
    {"Alloy", "2205", 0.68, 0.22, 0.055, 0.0, 0.0},
    {"Alloy", "C36000", 0.0035, 0.0, 0.0, 0.615, 0.35},
};
constexpr int kFirstHour = 8;
constexpr int kSecondsApart = 600;
} // namespace

bool SimResults::seed(const QDateTime &now, int days, int perDay, QString *errorMsg)
{
    const QDateTime utcNow = now.toUTC();
    int index = 0;
    for (int day = days - 1; day >= 0; --day) {
        const QDate date = utcNow.date().addDays(-day);
        for (int test = 0; test < perDay; ++test, ++index) {
            QDateTime when(date, QTime(kFirstHour, 0), Qt::UTC);
            when = when.addSecs(qint64(test) * kSecondsApart);
            if (when > utcNow)
                when = utcNow;
            const CheckSample &sample = kSamples[index % (sizeof(kSamples) / sizeof(kSamples[0]))];
            const QJsonObject concentrations{{QStringLiteral("Fe"), sample.fe},
                                             {QStringLiteral("Cr"), sample.cr},
                                             {QStringLiteral("Ni"), sample.ni},
                                             {QStringLiteral("Cu"), sample.cu},
                                             {QStringLiteral("Zn"), sample.zn}};
            if (!XrfResultManager::instance()->addResult(when, QLatin1String(sample.method),
                                                         QLatin1String(sample.sample),
                                                         concentrations, errorMsg))
                return false;
        }
    }
    return true;
}
