// The argument kinds of the palvex command line: how a parameter is given as
// a word (or filled by the control) and how its value is printed after the
// call. The forms table (cli/param_forms.h) says which parameter takes which.
#pragma once

#include "cli/cli_args.h"

#include <cstdint>
#include <span>

namespace palvex::cli {

extern const ArgKind kShort;         // 16-bit numbers, the default of VT_I2
extern const ArgKind kAddressOrLong; // dotted IPv4 address or 32-bit number
extern const ArgKind kText;          // text passed by address
extern const ArgKind kDisplayText;   // ShowString's text, converted to GBK
extern const ArgKind kPictureFile;   // SendPicture's buffer, read from a file
extern const ArgKind kProgRecords;   // SendProgList's 8-byte records
extern const ArgKind kShortList;     // SetOrderList's entries
extern const ArgKind kShortOut;      // a short the control fills
extern const ArgKind kShortArrayOut; // shorts the control fills
extern const ArgKind kByteArrayOut;  // bytes, one per short, the control fills
extern const ArgKind kStringOut;     // a string the control allocates
extern const ArgKind kTextOut;       // a text buffer the control fills

// Every kind, in the order --help lists them.
std::span<const ArgKind* const> AllKinds();

// The 16-bit value a slot of the default kind passes, as the control sees it.
inline std::int16_t ShortValue(const ArgSlot& slot) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(slot.number));
}

} // namespace palvex::cli
