#pragma once

#include <QMap>
#include <QString>

// The controller's non-volatile memory and the detector EEPROM as JSON files below
// XrfUtils::simStatePath() (ROOT/sim/nv.json and ROOT/sim/eeprom.json), written whole and
// atomically, so that they survive a restart of the process. A file written for another
// instrument (model or detector serial) is ignored: that instrument's memory is blank.
class SimNvStore
{
public:
    using Words = QMap<quint16, quint32>;

    SimNvStore(const QString &model, const QString &detectorSerial);

    static QString nvPath();
    static QString eepromPath();

    // Empty when nothing is stored for this instrument.
    Words loadNv() const;
    bool saveNv(const Words &words, QString *errorMsg = nullptr) const;
    Words loadEeprom() const;
    bool saveEeprom(const Words &words, QString *errorMsg = nullptr) const;

private:
    Words load(const QString &path, const QString &ownerKey, const QString &owner) const;
    bool save(const QString &path, const QString &ownerKey, const QString &owner,
              const Words &words, QString *errorMsg) const;

    QString m_model;
    QString m_detectorSerial;
};
