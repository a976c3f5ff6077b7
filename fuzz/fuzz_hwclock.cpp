// The output of the hardware clock program as the clock check reads it.

#include "fuzzinput.h"

#include "factoryutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QTime time =
        FactoryUtils::hwClockTimeOfDay(QString::fromUtf8(FuzzInput::bytes(data, size)));
    if (time.isValid())
        time.toString(QStringLiteral("HH:mm:ss"));
    return 0;
}
