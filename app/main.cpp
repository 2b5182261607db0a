#include "app/CommandLine.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    const QStringList arguments = programArguments(argc, argv);
    if (isCommandLineRequest(arguments)) {
        return runCommandLine(argc, argv);
    }
    if (arguments.size() > 1) {
        std::fprintf(stderr, "Usage: kelvane [scene]\n");
    }
    return runWindow(argc, argv, arguments.size() == 1 ? arguments[0] : QString(), {});
}
