#include "platform/ports/com_numbers.h"

#include <algorithm>

namespace palvex::ports {

SNumbering AssignComNumbers(const SNumberingInput& in) {
    SNumbering out;
    out.remembered = in.remembered;
    std::set<int> taken = in.explicitNumbers;
    for (const auto& [number, path] : in.remembered)
        taken.insert(number);

    const auto mappedByHand = [&](const SSerialPort& p) {
        return in.explicitDevices.contains(p.stablePath) || in.explicitDevices.contains(p.node);
    };
    std::map<std::string, std::size_t> adapters; // stable path -> index, sorted
    for (std::size_t i = 0; i < in.present.size(); ++i) {
        const SSerialPort& p = in.present[i];
        if (mappedByHand(p)) continue;
        if (!p.onboard) adapters.emplace(p.stablePath, i);
    }
    // Remembered adapters first: a number once given is kept.
    for (const auto& [number, path] : in.remembered) {
        const auto found = adapters.find(path);
        if (found == adapters.end() || in.explicitNumbers.contains(number)) continue;
        out.assigned[number] = found->second;
    }
    // On-board ports have their own numbers.
    for (std::size_t i = 0; i < in.present.size(); ++i) {
        const SSerialPort& p = in.present[i];
        if (!p.onboard || mappedByHand(p)) continue;
        const int number = p.onboardIndex + 1;
        if (taken.contains(number)) continue;
        out.assigned[number] = i;
        taken.insert(number);
    }
    // New adapters, in the order of their stable paths.
    int next = kFirstAdapterNumber;
    for (const auto& adapter : adapters) {
        const std::string& path = adapter.first;
        const std::size_t index = adapter.second;
        const bool known = std::any_of(in.remembered.begin(), in.remembered.end(),
                                       [&](const auto& r) { return r.second == path; });
        if (known) continue;
        while (taken.contains(next))
            ++next;
        out.assigned[next] = index;
        out.remembered[next] = path;
        out.added[next] = path;
        taken.insert(next);
    }
    return out;
}

} // namespace palvex::ports
