#include "MappedFiles.h"

#include <fstream>
#include <string>

bool IsMapped(const char* part) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}
