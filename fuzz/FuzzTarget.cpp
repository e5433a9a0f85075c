// One libFuzzer binary per target; QM_FUZZ_TARGET names the entry.
#include "FuzzEntries.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The codecs and the temp folder need an application object.
    static QCoreApplication app(*argc, *argv);
    qm::fuzz::scratchProgramDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const qm::fuzz::Entry entry = qm::fuzz::entryFor(QStringLiteral(QM_FUZZ_TARGET));
    entry(data, size);
    return 0;
}
