#pragma once

#include <cstdint>

// The window-message vocabulary the engine and its windows speak: a message number and two
// parameters wide enough for a pointer, with the names and widths of the Windows messages
// they mirror.
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_USER = 0x0400;
