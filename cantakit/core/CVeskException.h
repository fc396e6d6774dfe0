#pragma once

#include <exception>

// Thrown only by the folder search when it cannot enter a folder; carries no data, so its
// description is the standard library's default text.
class CVeskException : public std::exception {
public:
    CVeskException() = default;
    CVeskException(const CVeskException&) = default;
    CVeskException& operator=(const CVeskException&) = default;
    ~CVeskException() override;
};
