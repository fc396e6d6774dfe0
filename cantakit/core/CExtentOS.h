#pragma once

// Questions about the operating system's version. Here the version is the Linux kernel's
// release (major.minor); the questions about particular Windows releases answer false.
class CExtentOS {
public:
    // Stands for "any minor version".
    static constexpr long kAnyMinor = 0x7FFFFFFF;

    CExtentOS() = default;
    virtual ~CExtentOS();

    // True when the major version is major and the minor version is minor (or minor is
    // kAnyMinor). A version that cannot be read counts as 4 with any minor version.
    int ISOS(long major, long minor) const;
    int ISXP() const;
    int IS2K() const;
    int IS9X() const;

    // The release "major.minor..." of the running kernel parsed into two numbers; false when
    // it cannot be read.
    static bool ReadVersion(long& major, long& minor);
    static bool ParseRelease(const char* release, long& major, long& minor);
};
