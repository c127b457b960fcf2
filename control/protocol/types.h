// Basic types shared by the control: the automation world's BOOL and the
// 16-bit "short" that every numeric argument travels as.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

using BOOL = int;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

using BYTE = std::uint8_t;
// Address-width integer used for the "lp..." parameters: on a 64-bit host a
// caller address does not fit in 32 bits. Spelt as the system headers spell
// it (long where long holds a pointer, else long long), so that a file
// which also sees the Windows headers meets one and the same type.
using LONG_PTR = std::conditional_t<sizeof(long) == sizeof(void*), long, long long>;
