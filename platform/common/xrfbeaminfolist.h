#pragma once

// The beams of the beams setup, in the order they are shot, with their results.

#include "xrfbeaminfo.h"

class XrfBeamInfoList
{
public:
    void clearItems() { m_beams.clear(); }
    void addBeams(const QList<XrfBeamInfo> &beams) { m_beams.append(beams); }
    int size() const { return m_beams.size(); }
    bool isEmpty() const { return m_beams.isEmpty(); }
    const QList<XrfBeamInfo> &list() const { return m_beams; }
    QList<XrfBeamInfo> *listPtr() { return &m_beams; }

    // The beam of that name, or null; valid until the list changes.
    XrfBeamInfo *getBeam(const QString &name);
    // A beam needs shooting unless it passed or failed at a limit (which another shot would not
    // change).
    static bool needsShooting(const XrfBeamInfo &beam);
    // The first beam after the named one (from the start when `name` is empty or unknown) that
    // needs shooting; null when none does.
    XrfBeamInfo *findNextIncompleteBeam(const QString &name);
    // Beams that have not passed.
    int remainingBeams() const;
    // Beams that are done and failed.
    int failedBeams() const;
    // Beams that were shot (done, passed or failed).
    int attemptedBeams() const;

    // Replaces the beam of the same name; false when the list has none.
    bool setBeam(const XrfBeamInfo &beam);
    // Takes the results of `beam` into the list's beam of the same name; false when none.
    bool updateBeamResults(const XrfBeamInfo &beam);
    // Forgets the results of the named beam; false when the list has no such beam.
    bool invalidateBeam(const QString &name);

    // {"beams": [...]}.
    void toJsonObject(QJsonObject *json) const;
    QJsonObject toJsonObject() const;
    // False, with the list unchanged and the message naming the entry, when "beams" is not an
    // array of beam objects.
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr);

private:
    QList<XrfBeamInfo> m_beams;
};
