// Calls lnFatal with the message given on the command line.
#include "ln/LnDiagnostics.h"

int main(int argc, char* argv[]) { lnFatal("%s", argc > 1 ? argv[1] : ""); }
