// libFuzzer target: the input written to a temporary file and read as a KMZ
// archive with CdaScene::loadKmz.
#include "tests/fuzz/collada/collada_fuzz_common.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(dropMessages), true);
    (void)quiet;
    static const QString path =
        QDir::temp().filePath(QStringLiteral("collada_fuzz_kmz_%1.kmz").arg(getpid()));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    CdaScene scene;
    scene.loadKmz(path);
    useLikeTheScene(scene);
    return 0;
}
