// The card server's side of the modem in front of the card: the pty's bytes
// go through the modem, whose answers go back on the line and whose data goes
// on to the card's receiver.
#include "sim/server_impl.h"

#include <algorithm>

namespace cardsim {

bool CCardServer::Impl::SetUpModem(std::string& error) {
    if (!card.modem.enabled) return true;
    CPortCloseWatch watch;
    if (!watch.Watch(pty.slaveName, error)) return false;
    modemWatch = std::move(watch);
    modem = std::make_unique<CModemFront>(card.modem);
    return true;
}

void CCardServer::Impl::ModemInput(Channel& ch, const std::uint8_t* data, std::size_t n,
                                   std::vector<std::string>& lines) {
    const auto now = SteadyClock::now();
    ModemApply(ch, modem->FromLine({data, n}, now), now, lines);
}

void CCardServer::Impl::ModemTick(SteadyClock::time_point now, std::vector<std::string>& lines) {
    if (modem && ptyChannel.fd >= 0) ModemApply(ptyChannel, modem->Tick(now), now, lines);
}

void CCardServer::Impl::ModemPortClosed(std::vector<std::string>& lines) {
    if (modemWatch.TakeLastCloses() == 0 || !modem) return;
    const auto now = SteadyClock::now();
    ModemApply(ptyChannel, modem->DtrDropped(now), now, lines);
}

void CCardServer::Impl::ModemApply(Channel& ch, ModemOutput&& out, SteadyClock::time_point now,
                                   std::vector<std::string>& lines) {
    for (std::string& e : out.events) lines.push_back("modem: " + std::move(e));
    if (!out.toLine.empty()) {
        std::lock_guard lock(mu);
        if (ch.out.size() >= kMaxQueuedChunks) {
            lines.push_back("modem: output queue full, " + std::to_string(out.toLine.size()) +
                            " byte(s) dropped");
        } else {
            // Behind any card reply still queued: the line carries one stream.
            const auto due = ch.out.empty() ? now : std::max(now, ch.out.back().due);
            ch.out.push_back(OutChunk{due, std::move(out.toLine), 0, false});
        }
    }
    if (!out.toCard.empty())
        HandleFrames(ch, ch.parser.Feed(out.toCard.data(), out.toCard.size()), lines);
}

} // namespace cardsim
