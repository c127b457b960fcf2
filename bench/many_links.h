// Many controls at once, each on a thread of its own with its own TCP
// connection, against as many raw clients doing the same bytes with plain
// sockets. Every connection, the controls' and the raw clients', has an echo
// peer of its own (CEchoPeer), so the two sides differ only in the client.
#pragma once

namespace bench {

struct ManyLinksRates {
    double controls = 0; // acknowledged exchanges per second, all threads together
    double raw = 0;      // round trips per second of the raw clients, likewise
    double ratio = 0;    // controls / raw, the median over the rounds
};

// Runs `rounds` rounds, each `seconds` of the controls and `seconds` of the
// raw clients in turn, so that a change of the machine's load falls on both
// alike; the rates are the means over the rounds. False when the connections
// cannot be set up or an exchange fails.
bool MeasureManyLinks(int links, double seconds, int rounds, ManyLinksRates* rates);

} // namespace bench
