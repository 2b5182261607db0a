// libFuzzer target: one COLLADA document from memory, CdaScene::load(bytes).
#include "tests/fuzz/collada/collada_fuzz_common.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(dropMessages), true);
    (void)quiet;
    CdaScene scene;
    scene.load(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    useLikeTheScene(scene);
    return 0;
}
