#include "stabilityassembler.h"

#include "xrfatomicfile.h"

#include "xrfzipwriter.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace StabilityAssembler {

namespace {

// Reads one shot file: its bytes when they hold a JSON object, with the object itself when
// `object` is given. False, with the warnings of the assembly, otherwise.
bool readShot(const QString &path, const char *unreadableText, const char *invalidText,
              QByteArray *bytes, QJsonObject *object)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << QString::fromLatin1(unreadableText).arg(path, file.errorString());
        return false;
    }
    *bytes = file.readAll().trimmed();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        qWarning().noquote()
            << QString::fromLatin1(unreadableText).arg(path, parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        qWarning().noquote() << QString::fromLatin1(invalidText).arg(path);
        return false;
    }
    if (object)
        *object = document.object();
    return true;
}

// Mean and sample variance in one pass (Welford).
struct RunningRatio
{
    int count = 0;
    double mean = 0;
    double m2 = 0;

    void add(double x)
    {
        ++count;
        const double delta = x - mean;
        mean += delta / count;
        m2 += delta * (x - mean);
    }
    double rsd() const { return std::sqrt(m2 / (count - 1)) / mean; }
};

QByteArray number(double value)
{
    return QByteArray::number(value, 'g', 17);
}

} // namespace

QStringList shotFiles(const QString &folder)
{
    static const QRegularExpression shotName(QStringLiteral("^(\\d{1,9})\\.json$"));
    QVector<QPair<int, QString>> shots;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = shotName.match(name);
        if (match.hasMatch())
            shots.append({match.captured(1).toInt(), dir.filePath(name)});
        else
            qWarning().noquote() << "Not a stability shot file, left out:" << dir.filePath(name);
    }
    std::sort(shots.begin(), shots.end());
    QStringList paths;
    for (const auto &shot : shots)
        paths << shot.second;
    return paths;
}

double brOverCuRatio(const QJsonObject &record)
{
    const double cu = record.value(QStringLiteral("collimatedCuCounts")).toDouble();
    if (!(cu > 0))
        return kEmptyCuRatio;
    return record.value(QStringLiteral("collimatedBrCounts")).toDouble() / cu;
}

bool writeSummary(const QJsonObject &header, const QString &folder, const QString &outputPath,
                  bool collimated, SummaryResult *result, QString *error)
{
    XrfAtomicFile out(outputPath);
    if (!out.open(error))
        return false;
    QJsonObject head = header;
    head.remove(QStringLiteral("data"));
    QByteArray text = QJsonDocument(head).toJson(QJsonDocument::Compact);
    text.chop(1); // the closing brace: members follow
    out.write(text);
    out.write(head.isEmpty() ? "\"data\":[" : ",\"data\":[");
    RunningRatio ratios;
    int shots = 0;
    for (const QString &path : shotFiles(folder)) {
        QByteArray bytes;
        QJsonObject record;
        if (!readShot(path, "failed to read stability summary file at:%1, Error:%2",
                      "Stability summary JSON value in read from file %1 is in invalid format and "
                      "will NOT be included in the result.",
                      &bytes, &record))
            continue;
        if (shots++)
            out.write(",");
        out.write(bytes);
        const double ratio = collimated ? brOverCuRatio(record) : kEmptyCuRatio;
        if (ratio != kEmptyCuRatio)
            ratios.add(ratio);
    }
    out.write("]");
    result->shots = shots;
    result->ratios = ratios.count;
    if (collimated) {
        if (ratios.count < 2 || !(ratios.mean != 0)) {
            *error = QStringLiteral("Failed to compute Br/Cu statistics, error code %1").arg(-1);
            return false;
        }
        result->meanBrOverCu = ratios.mean;
        result->rsdBrOverCu = ratios.rsd();
        out.write(",\"collimatedMeanBrOverCu\":" + number(result->meanBrOverCu)
                  + ",\"collimatedRSDBrOverCu\":" + number(result->rsdBrOverCu));
    }
    out.write("}");
    return out.commit(error);
}

bool writeSpectraArchive(const QString &folder, const QString &zipPath, const QString &entryName,
                         int *shots, QString *error)
{
    XrfZipWriter zip(zipPath);
    if (!zip.open(error) || !zip.beginEntry(entryName, error))
        return false;
    zip.write(QByteArrayLiteral("{\"spectrums\":["));
    int count = 0;
    for (const QString &path : shotFiles(folder)) {
        QByteArray bytes;
        if (!readShot(path, "Failed to read spectra file:%1, Error:%2",
                      "Spectrum data read from file %1 is in invalid format and will NOT be "
                      "included in the result.",
                      &bytes, nullptr))
            continue;
        if (count++)
            zip.write(",", 1);
        zip.write(bytes);
    }
    zip.write(QByteArrayLiteral("]}"));
    *shots = count;
    return zip.commit(error);
}

} // namespace StabilityAssembler
