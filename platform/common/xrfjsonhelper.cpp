#include "xrfjsonhelper.h"

#include <QJsonArray>
#include <QMetaProperty>
#include <QStringList>

#include <cmath>
#include <limits>

namespace {

bool jsonFitsType(const QJsonValue &value, int typeId)
{
    switch (typeId) {
    case QMetaType::Bool:
        return value.isBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.isDouble();
    case QMetaType::QString:
        return value.isString();
    case QMetaType::QStringList:
    case QMetaType::QJsonArray:
    case QMetaType::QVariantList:
        return value.isArray();
    case QMetaType::QJsonObject:
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
        return value.isObject();
    default:
        return true;
    }
}

// Whether a JSON number fits an integer property: a conversion of a value outside the type's
// range (1e300 into an int) is undefined.
bool numberFitsType(double number, int typeId)
{
    const auto within = [number](auto lowest, auto highest) {
        return number >= double(lowest) && number <= double(highest);
    };
    switch (typeId) {
    case QMetaType::Int:
        return within(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    case QMetaType::UInt:
        return within(0, std::numeric_limits<uint>::max());
    case QMetaType::Short:
        return within(std::numeric_limits<short>::min(), std::numeric_limits<short>::max());
    case QMetaType::UShort:
        return within(0, std::numeric_limits<ushort>::max());
    // 2^63 and 2^64 are doubles exactly, and the largest values below them are too.
    case QMetaType::LongLong:
        return number >= -9223372036854775808.0 && number < 9223372036854775808.0;
    case QMetaType::ULongLong:
        return number >= 0 && number < 18446744073709551616.0;
    case QMetaType::Float:
        return std::isnan(number) || std::isinf(number)
            || within(std::numeric_limits<float>::lowest(), std::numeric_limits<float>::max());
    default:
        return true;
    }
}

QVariant variantForType(const QJsonValue &value, int typeId)
{
    switch (typeId) {
    case QMetaType::QJsonObject:
        return QVariant::fromValue(value.toObject());
    case QMetaType::QJsonArray:
        return QVariant::fromValue(value.toArray());
    case QMetaType::QJsonValue:
        return QVariant::fromValue(value);
    default: {
        QVariant converted = value.toVariant();
        converted.convert(typeId);
        return converted;
    }
    }
}

} // namespace

QJsonObject XrfJsonHelper::toJsonObject() const
{
    return gadgetToJson(jsonMetaObject(), jsonGadget());
}

bool XrfJsonHelper::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    return gadgetFromJson(jsonMetaObject(), jsonGadget(), json, errorMsg);
}

QJsonObject XrfJsonHelper::gadgetToJson(const QMetaObject &meta, const void *gadget)
{
    QJsonObject json;
    for (int i = 0; i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        json.insert(QString::fromLatin1(property.name()),
                    QJsonValue::fromVariant(property.readOnGadget(gadget)));
    }
    return json;
}

bool XrfJsonHelper::gadgetFromJson(const QMetaObject &meta, void *gadget, const QJsonObject &json,
                                   QString *errorMsg)
{
    // Check every key first so that a bad value leaves the record untouched.
    QVector<QPair<QMetaProperty, QVariant>> updates;
    for (int i = 0; i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        const QString key = QString::fromLatin1(property.name());
        if (!property.isWritable() || !json.contains(key))
            continue;
        const QJsonValue value = json.value(key);
        if (value.isNull())
            continue;
        if (!jsonFitsType(value, property.userType())) {
            if (errorMsg)
                *errorMsg = QStringLiteral("JSON key '%1' has the wrong type for %2")
                                .arg(key, QString::fromLatin1(property.typeName()));
            return false;
        }
        if (value.isDouble() && !numberFitsType(value.toDouble(), property.userType())) {
            if (errorMsg)
                *errorMsg = QStringLiteral("JSON key '%1' holds %2, out of the range of %3")
                                .arg(key)
                                .arg(value.toDouble())
                                .arg(QString::fromLatin1(property.typeName()));
            return false;
        }
        updates.append({property, variantForType(value, property.userType())});
    }
    for (const auto &update : qAsConst(updates))
        update.first.writeOnGadget(gadget, update.second);
    return true;
}

bool XrfJsonHelper::nestedFromJson(const QJsonObject &json, const QString &key,
                                   XrfJsonHelper *record, QString *errorMsg)
{
    const QJsonValue value = json.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isObject()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("JSON key '%1' is not an object").arg(key);
        return false;
    }
    return record->fromJsonObject(value.toObject(), errorMsg);
}

QJsonValue XrfJsonHelper::getJsonValueFromPath(const QJsonObject &json, const QString &path)
{
    const QStringList keys = path.split(QLatin1Char('.'));
    QJsonValue current = json;
    for (const QString &key : keys) {
        if (!current.isObject())
            return QJsonValue(QJsonValue::Undefined);
        current = current.toObject().value(key);
    }
    return current;
}

bool XrfJsonHelper::setJsonValueFromPath(QJsonObject &json, const QString &path,
                                         const QJsonValue &value)
{
    const int dot = path.indexOf(QLatin1Char('.'));
    if (path.isEmpty() || dot == 0)
        return false;
    if (dot < 0) {
        json.insert(path, value);
        return true;
    }
    const QString head = path.left(dot);
    const QJsonValue child = json.value(head);
    if (!child.isUndefined() && !child.isObject())
        return false;
    QJsonObject childObject = child.toObject();
    if (!setJsonValueFromPath(childObject, path.mid(dot + 1), value))
        return false;
    json.insert(head, childObject);
    return true;
}

bool XrfJsonHelper::compareJsonObjects(const QJsonObject &a, const QJsonObject &b,
                                       QStringList *differences)
{
    bool same = true;
    QStringList keys = a.keys() + b.keys();
    keys.removeDuplicates();
    keys.sort();
    for (const QString &key : qAsConst(keys)) {
        if (a.value(key) == b.value(key))
            continue;
        same = false;
        if (!differences)
            break;
        differences->append(key);
    }
    return same;
}
