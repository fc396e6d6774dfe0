#pragma once

#include <QString>
#include <cstddef>

// Reads the version record that every program and library of the product carries in an ELF
// section of its own (".cantavo.version": a marker, then key and value strings, each ended
// by a NUL, closed by an empty key). Files are read as untrusted bytes: anything malformed
// gives an empty result.
class CVersionRecord {
public:
    static constexpr const char* kSectionName = ".cantavo.version";
    static constexpr const char* kMarker = "CANTAVO-VERSION";

    // The value of key in the version record of the ELF image in data, or empty.
    static QString Find(const unsigned char* data, std::size_t size, const QString& key);
    // The value of key in the version record of the file at path, or empty.
    static QString Read(const QString& path, const QString& key);
    // The value of key in a bare record (marker, pairs, empty key), or empty.
    static QString FindInRecord(const unsigned char* record, std::size_t size, const QString& key);
};
