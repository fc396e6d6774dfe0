#include "CExtentOS.h"

#include <cstdlib>
#include <sys/utsname.h>

CExtentOS::~CExtentOS() = default;

bool CExtentOS::ParseRelease(const char* release, long& major, long& minor) {
    if (release == nullptr) {
        return false;
    }
    char* end = nullptr;
    const long parsedMajor = std::strtol(release, &end, 10);
    if (end == release || *end != '.') {
        return false;
    }
    const char* rest = end + 1;
    const long parsedMinor = std::strtol(rest, &end, 10);
    if (end == rest || parsedMajor < 0 || parsedMinor < 0) {
        return false;
    }
    major = parsedMajor;
    minor = parsedMinor;
    return true;
}

bool CExtentOS::ReadVersion(long& major, long& minor) {
    utsname names{};
    return uname(&names) == 0 && ParseRelease(names.release, major, minor);
}

int CExtentOS::ISOS(long major, long minor) const {
    long actualMajor = 4;
    long actualMinor = kAnyMinor;
    const bool known = ReadVersion(actualMajor, actualMinor);
    if (actualMajor != major) {
        return 0;
    }
    return (!known || minor == kAnyMinor || actualMinor == minor) ? 1 : 0;
}

// No Linux system is Windows XP, 2000 or one of the 9x family, whatever its kernel's numbers.
int CExtentOS::ISXP() const {
    return 0;
}

int CExtentOS::IS2K() const {
    return 0;
}

int CExtentOS::IS9X() const {
    return 0;
}
