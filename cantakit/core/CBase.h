#pragma once

// Every CBase that is made or dropped stamps the process-wide activity time, so that
// the animated icons can tell how long the user has left the program alone.
class CBase {
public:
    CBase();
    CBase(const CBase&);
    CBase& operator=(const CBase&) = default;
    virtual ~CBase();
};
