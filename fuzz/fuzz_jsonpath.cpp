// getJsonValueFromPath and setJsonValueFromPath with keys that hold dots, empty keys and paths
// through values that are not objects. The first line is the path, the rest a JSON object.

#include "fuzzinput.h"

#include "xrfjsonhelper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = FuzzInput::bytes(data, size);
    const int newline = input.indexOf('\n');
    const QString path = QString::fromUtf8(newline < 0 ? input : input.left(newline));
    QJsonObject json =
        QJsonDocument::fromJson(newline < 0 ? QByteArray() : input.mid(newline + 1)).object();
    const QJsonValue found = XrfJsonHelper::getJsonValueFromPath(json, path);
    XrfJsonHelper::setJsonValueFromPath(json, path, found.isUndefined() ? QJsonValue(1) : found);
    XrfJsonHelper::setJsonValueFromPath(json, path + QStringLiteral(".x"), QJsonValue(true));
    XrfJsonHelper::getJsonValueFromPath(json, path + QStringLiteral(".x"));
    return 0;
}
