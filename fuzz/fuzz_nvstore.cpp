// The simulated controller's non-volatile memory and EEPROM files as the simulator loads them.

#include "fuzzinput.h"

#include "simnvstore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput::instrumentHome();
    const QByteArray content = FuzzInput::bytes(data, size);
    FuzzInput::writeFile(SimNvStore::nvPath(), content);
    FuzzInput::writeFile(SimNvStore::eepromPath(), content);
    const SimNvStore store(QStringLiteral("default"), QStringLiteral("SN-1"));
    const SimNvStore::Words nv = store.loadNv();
    store.loadEeprom();
    store.saveNv(nv);
    return 0;
}
