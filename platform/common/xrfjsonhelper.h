#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QMetaObject>
#include <QString>

// Base of every record that travels as JSON. A record is a Q_GADGET whose declared properties are
// its JSON keys; XRF_JSON_RECORD hands the gadget's meta-object to this base, which converts the
// properties generically. Records with keys that are not plain properties (nested lists, say)
// override toJsonObject/fromJsonObject and call the base for the rest.
class XrfJsonHelper
{
public:
    virtual ~XrfJsonHelper() = default;

    virtual QJsonObject toJsonObject() const;
    // Fills the properties present in `json`. Returns false, and leaves the record unchanged, when
    // a present key holds a value that cannot become the property's type; `errorMsg` (if given)
    // names the key.
    virtual bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr);

    // Dotted paths ("hardware.fpga.gain") into nested objects.
    static QJsonValue getJsonValueFromPath(const QJsonObject &json, const QString &path);
    static bool setJsonValueFromPath(QJsonObject &json, const QString &path,
                                     const QJsonValue &value);
    // True when both objects hold the same keys with equal values; the keys that differ are
    // appended to `differences` when it is given.
    static bool compareJsonObjects(const QJsonObject &a, const QJsonObject &b,
                                   QStringList *differences = nullptr);

    // Reads the nested object `key` of `json` into `record`; an absent or null key leaves the
    // record as it is, another type is refused with a message naming the key.
    static bool nestedFromJson(const QJsonObject &json, const QString &key, XrfJsonHelper *record,
                               QString *errorMsg);

    // Generic property conversion of any gadget, for records that build their own JSON.
    static QJsonObject gadgetToJson(const QMetaObject &meta, const void *gadget);
    static bool gadgetFromJson(const QMetaObject &meta, void *gadget, const QJsonObject &json,
                               QString *errorMsg);

protected:
    virtual const QMetaObject &jsonMetaObject() const = 0;
    virtual const void *jsonGadget() const = 0;
    virtual void *jsonGadget() = 0;
};

// Placed after Q_GADGET in a record that derives from XrfJsonHelper.
#define XRF_JSON_RECORD \
protected: \
    const QMetaObject &jsonMetaObject() const override \
    { \
        return staticMetaObject; \
    } \
    const void *jsonGadget() const override \
    { \
        return this; \
    } \
    void *jsonGadget() override \
    { \
        return this; \
    } \
\
private:
