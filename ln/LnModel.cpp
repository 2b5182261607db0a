#include "ln/LnModel.h"

#include <cstring>

bool isBoxyModelFile(const char* path) { return path && std::strstr(path, ".npr"); }

bool isSmoothModelFile(const char* path)
{
    return path &&
           (std::strstr(path, ".off") || std::strstr(path, ".ply") || std::strstr(path, ".obj"));
}
