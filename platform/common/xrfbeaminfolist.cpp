#include "xrfbeaminfolist.h"

#include "xrfjsonlist.h"

namespace {
const QString kBeams = QStringLiteral("beams");
} // namespace

XrfBeamInfo *XrfBeamInfoList::getBeam(const QString &name)
{
    for (XrfBeamInfo &beam : m_beams) {
        if (beam.beamName() == name)
            return &beam;
    }
    return nullptr;
}

bool XrfBeamInfoList::needsShooting(const XrfBeamInfo &beam)
{
    return !beam.hasPassed() && !beam.hasFailedAtALimit();
}

XrfBeamInfo *XrfBeamInfoList::findNextIncompleteBeam(const QString &name)
{
    int start = 0;
    for (int i = 0; !name.isEmpty() && i < m_beams.size(); ++i) {
        if (m_beams.at(i).beamName() == name) {
            start = i + 1;
            break;
        }
    }
    for (int i = start; i < m_beams.size(); ++i) {
        if (needsShooting(m_beams.at(i)))
            return &m_beams[i];
    }
    return nullptr;
}

int XrfBeamInfoList::remainingBeams() const
{
    int count = 0;
    for (const XrfBeamInfo &beam : m_beams)
        count += beam.hasPassed() ? 0 : 1;
    return count;
}

int XrfBeamInfoList::failedBeams() const
{
    int count = 0;
    for (const XrfBeamInfo &beam : m_beams)
        count += beam.isDone() && beam.hasFailed() ? 1 : 0;
    return count;
}

int XrfBeamInfoList::attemptedBeams() const
{
    int count = 0;
    for (const XrfBeamInfo &beam : m_beams)
        count += beam.isDone() ? 1 : 0;
    return count;
}

bool XrfBeamInfoList::setBeam(const XrfBeamInfo &beam)
{
    XrfBeamInfo *stored = getBeam(beam.beamName());
    if (!stored)
        return false;
    *stored = beam;
    return true;
}

bool XrfBeamInfoList::updateBeamResults(const XrfBeamInfo &beam)
{
    XrfBeamInfo *stored = getBeam(beam.beamName());
    if (!stored)
        return false;
    stored->copyResultsFrom(beam);
    return true;
}

bool XrfBeamInfoList::invalidateBeam(const QString &name)
{
    XrfBeamInfo *stored = getBeam(name);
    if (!stored)
        return false;
    stored->clearResults();
    return true;
}

void XrfBeamInfoList::toJsonObject(QJsonObject *json) const
{
    if (json)
        *json = toJsonObject();
}

QJsonObject XrfBeamInfoList::toJsonObject() const
{
    return QJsonObject{{kBeams, recordsToJson(m_beams)}};
}

bool XrfBeamInfoList::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    // A list without beams is no list of beams.
    if (!json.value(kBeams).isArray()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("JSON key 'beams' is not an array");
        return false;
    }
    return recordsFromJson(json.value(kBeams), kBeams, &m_beams, errorMsg);
}
