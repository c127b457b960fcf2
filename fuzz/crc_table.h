// The control's CRC table, for the fuzz targets that build frames or check
// them; filled on first use.
#pragma once

#include "control/protocol/crc16.h"

#include <array>
#include <cstdint>

namespace fuzzing {

inline const std::uint16_t* CrcTable() {
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        palvex::FillCrcTable(t.data());
        return t;
    }();
    return table.data();
}

} // namespace fuzzing
