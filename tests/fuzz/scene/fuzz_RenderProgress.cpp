// libFuzzer target: POV-Ray's console output, read as it arrives, in
// chunks that may end anywhere. On arbitrary bytes the progress parser must
// never crash or read out of bounds, its percentage stays within 0 to 100
// (or -1 while unknown), and the chunking does not change where it ends up.

#include "scene/PovRenderProgress.h"

#include <cstdint>
#include <cstdlib>

namespace {

void checkProgress(const PovProgress& p)
{
    if (p.percent < -1 || p.percent > 100) {
        std::abort();
    }
    (void)p.text();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    // The first byte cuts the rest into chunks of 1 to 256 bytes.
    const size_t step = size_t(data[0]) + 1;
    const QByteArray output(reinterpret_cast<const char*>(data + 1), int(size - 1));

    PovRenderProgress whole;
    whole.feed(output);
    whole.finish();
    checkProgress(whole.progress());

    PovRenderProgress chunked;
    for (int at = 0; at < output.size(); at += int(step)) {
        chunked.feed(output.mid(at, int(step)));
        checkProgress(chunked.progress());
    }
    chunked.finish();
    if (chunked.progress() != whole.progress()) {
        std::abort();
    }
    (void)PovRenderProgress::messages(output);
    return 0;
}
