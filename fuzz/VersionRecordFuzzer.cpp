#include "CVersionRecord.h"

#include <cstddef>
#include <cstdint>

// The version reader takes any file it is pointed at; whatever the bytes, it must neither
// crash nor read outside them.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)CVersionRecord::Find(data, size, QStringLiteral("FileVersion"));
    (void)CVersionRecord::FindInRecord(data, size, QStringLiteral("ProductVersion"));
    return 0;
}
