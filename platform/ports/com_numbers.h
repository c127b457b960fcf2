// How serial devices get COM numbers when nobody mapped them by hand: the
// rule alone, with no files, environment or registry, so it can be tested
// on lists.
//
//   - An on-board UART ttyS<k> is COM<k+1>.
//   - Every other adapter keeps the number it was given the first time it
//     was seen, wherever it is plugged in. A new one gets the lowest free
//     number from COM3 upward; adapters new in the same scan are taken in the
//     order of their stable paths.
//   - A number mapped by hand is never given automatically, and a device
//     mapped by hand gets no automatic number.
//   - A number stays given while its adapter is remembered, plugged in or not.
#pragma once

#include "platform/ports/serial_ports.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace palvex::ports {

constexpr int kFirstAdapterNumber = 3;

struct SNumberingInput {
    std::vector<SSerialPort> present;
    // Numbers given before: COM number -> the adapter's stable path.
    std::map<int, std::string> remembered;
    // Numbers mapped by hand, and the stable paths or nodes of the devices
    // mapped by hand.
    std::set<int> explicitNumbers;
    std::set<std::string> explicitDevices;
};

struct SNumbering {
    // COM number -> index into the present ports.
    std::map<int, std::size_t> assigned;
    // `remembered` with the numbers given in this scan added.
    std::map<int, std::string> remembered;
    // The numbers given in this scan for the first time.
    std::map<int, std::string> added;
};

SNumbering AssignComNumbers(const SNumberingInput& input);

} // namespace palvex::ports
