// Register overrides and controller commands from the factory setup data.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"

#include <QDebug>

#include <cmath>
#include <limits>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kStepId = QStringLiteral("doOverrides");
const QString kPassedText = QStringLiteral("Hardware settings updated");
constexpr unsigned short kResponseCapacity = 1023;

QString commentOf(const QJsonObject &entry)
{
    return entry.value(QStringLiteral("comment")).toString(QStringLiteral("Missing comment!"));
}

// Integers travel as JSON numbers; the low bits of the two's complement are written.
qint64 integerValue(const QJsonObject &entry)
{
    const double value = entry.value(QStringLiteral("value")).toDouble();
    if (!std::isfinite(value) || std::abs(value) >= 9.2e18)
        return 0;
    return qint64(value);
}

// The value as single precision, truncated toward zero; false when it has no 32-bit integer.
bool floatValue(const QJsonObject &entry, qint32 *out)
{
    const float value = float(entry.value(QStringLiteral("value")).toDouble());
    const float truncated = std::trunc(value);
    if (!std::isfinite(truncated) || truncated < -2147483648.0f || truncated >= 2147483648.0f)
        return false;
    *out = qint32(truncated);
    return true;
}

} // namespace

void Worker::doOverrides()
{
    beginHardwareSetupStep(kStepId);
    setCurrentTaskStatus(tr("Updating HW settings..."));
    setCurrentTaskProgress(-1);
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    if (params.isEmpty() || !params.contains(QStringLiteral("overrides"))) {
        qInfo() << "No overrides found.";
        setCurrentTaskProgress(100);
        onHardwareSetupStepComplete(true, kPassedText);
        return;
    }

    bool saveNv = false;
    QString error;
    const QJsonArray overrides = params.value(QStringLiteral("overrides")).toArray();
    for (const QJsonValue &entry : overrides) {
        if (!applyOverride(entry.toObject(), &saveNv, &error)) {
            onHardwareSetupStepComplete(false, error);
            return;
        }
    }
    if (saveNv) {
        qInfo() << "Saving K60 NV";
        if (const int code = xrf_hal::XrfEngine::instance()->saveToNv()) {
            const QString message = QStringLiteral("K60 failed to save to NV, err:%1").arg(code);
            qWarning().noquote() << message;
            onHardwareSetupStepComplete(false, message);
            return;
        }
    }
    setCurrentTaskProgress(100);
    onHardwareSetupStepComplete(true, kPassedText);
}

bool Worker::applyOverride(const QJsonObject &entry, bool *saveNv, QString *errorMsg)
{
    const QString type = entry.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("register"))
        return writeRegisterOverride(entry, saveNv, errorMsg);
    if (type == QLatin1String("command"))
        return sendCommandOverride(entry, errorMsg);
    qWarning() << "Unknown override type: " << type;
    return true;
}

bool Worker::writeRegisterOverride(const QJsonObject &entry, bool *saveNv, QString *errorMsg)
{
    const QString comment = commentOf(entry);
    const double address = entry.value(QStringLiteral("register")).toDouble(0);
    qInfo().noquote() << "Processing override" << comment << ": register write to" << address;
    if (!(address >= 0 && address <= 0xFFFF && address == std::floor(address))) {
        *errorMsg = QStringLiteral("Override '%1' has an invalid register address: %2")
                        .arg(comment)
                        .arg(address);
        qWarning().noquote() << *errorMsg;
        return false;
    }
    const auto reg = xrf_hal::RegisterAddress(quint16(address));
    const QString dataType = entry.value(QStringLiteral("dataType")).toString();
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    int code = 0;
    if (dataType == QLatin1String("uint8") || dataType == QLatin1String("int8")) {
        code = engine->writeValue8(reg, quint8(integerValue(entry) & 0xFF));
    } else if (dataType == QLatin1String("uint16") || dataType == QLatin1String("int16")) {
        code = engine->writeValue16(reg, quint16(integerValue(entry) & 0xFFFF));
    } else if (dataType == QLatin1String("uint32") || dataType == QLatin1String("int32")) {
        code = engine->writeValue32(reg, quint32(integerValue(entry) & 0xFFFFFFFF));
    } else if (dataType == QLatin1String("float")) {
        qint32 value = 0;
        if (!floatValue(entry, &value)) {
            *errorMsg = QStringLiteral("Value of override '%1' does not fit 32 bits").arg(comment);
            qWarning().noquote() << *errorMsg;
            return false;
        }
        code = engine->writeValue32(reg, quint32(value));
    } else if (dataType == QLatin1String("string")) {
        qWarning() << "Need to implement XrfEngine::writeValueString first!";
        *errorMsg = QStringLiteral("Could not write string value");
        return false;
    } else {
        qWarning().noquote() << "Value for override" << comment
                             << " has an unknown type:" << dataType;
    }
    if (code != 0) {
        *errorMsg = QStringLiteral("K60 failed to write register, err:%1").arg(code);
        qWarning().noquote() << *errorMsg;
        return false;
    }
    *saveNv = true;
    return true;
}

// Frame: 0x20 0x01 0x00 0x00, payload length (arguments + the code, little endian), the command
// code, one byte per argument.
bool Worker::sendCommandOverride(const QJsonObject &entry, QString *errorMsg)
{
    const int command = entry.value(QStringLiteral("command")).toInt(0);
    qInfo().noquote() << "Processing override " << commentOf(entry) << ": command" << command;
    const QJsonArray arguments = entry.value(QStringLiteral("arguments")).toArray();
    const int payload = arguments.size() + 1;
    QByteArray frame;
    frame.append(char(0x20)).append(char(0x01)).append(char(0x00)).append(char(0x00));
    frame.append(char(payload & 0xFF)).append(char((payload >> 8) & 0xFF));
    frame.append(char(command & 0xFF));
    for (const QJsonValue &argument : arguments)
        frame.append(char(argument.toInt() & 0xFF));
    if (frame.size() > std::numeric_limits<unsigned short>::max()) {
        *errorMsg = QStringLiteral("Error executing K60 command, err:%1")
                        .arg(int(xrf_hal::EngineInvalidArgument));
        qWarning().noquote() << *errorMsg;
        return false;
    }
    unsigned char response[kResponseCapacity] = {};
    const int code = xrf_hal::XrfEngine::instance()->sendCommandBuffer(
        reinterpret_cast<const unsigned char *>(frame.constData()), (unsigned short)frame.size(),
        response, kResponseCapacity);
    if (code != 0) {
        *errorMsg = QStringLiteral("Error executing K60 command, err:%1").arg(code);
        qWarning().noquote() << *errorMsg;
        return false;
    }
    return true;
}
