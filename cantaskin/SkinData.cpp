// The skin's pictures, embedded as one binary resource file (made while building) and
// registered with Qt's resource system when the library loads.
#include <QResource>

asm(".section .rodata\n"
    ".balign 16\n"
    ".hidden cantaskin_rcc_data\n"
    ".globl cantaskin_rcc_data\n"
    "cantaskin_rcc_data:\n"
    ".incbin \"" CANTASKIN_RCC "\"\n"
    ".byte 0\n"
    ".previous\n");

extern "C" const unsigned char cantaskin_rcc_data[];

namespace {

struct Registration {
    Registration() { QResource::registerResource(cantaskin_rcc_data); }
    ~Registration() { QResource::unregisterResource(cantaskin_rcc_data); }
};

const Registration registration;

} // namespace
