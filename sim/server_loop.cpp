// The poll loop of CCardServer: accepts connections, reads frames, asks the
// card model for replies, applies the faults and writes the replies when due.
#include "sim/server_impl.h"

#include "sim/card_protocol.h"
#include "sim/line_termios.h"
#include "sim/state_file.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace cardsim {

CivilTime HostNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

namespace {

std::string LetterText(std::uint8_t letter) {
    char buf[8];
    if (letter >= 0x21 && letter < 0x7F)
        std::snprintf(buf, sizeof buf, "'%c'", letter);
    else
        std::snprintf(buf, sizeof buf, "0x%02X", letter);
    return buf;
}

std::string FrameText(const Channel& ch, const ParsedFrame& f) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s: frame to %02X, %s, payload %zu byte(s): ", ch.name,
                  f.address, LetterText(f.Letter()).c_str(), f.Payload().size());
    return buf;
}

long long MsUntil(SteadyClock::time_point t, SteadyClock::time_point now) {
    if (t <= now) return 0;
    // Rounded up so the wait never ends just before the deadline.
    return std::chrono::ceil<std::chrono::milliseconds>(t - now).count();
}

} // namespace

int CCardServer::Impl::Loop(const volatile std::sig_atomic_t* stop, const sigset_t* waitMask) {
    std::vector<std::string> log;
    int rc = 0;
    while (!stopRequested && !(stop != nullptr && *stop)) {
        pollfd fds[5];
        nfds_t n = 0;
        fds[n++] = pollfd{wake.Get(), POLLIN, 0};
        const nfds_t watchIdx = modemWatch.Fd() >= 0 ? n : 99;
        if (modemWatch.Fd() >= 0) fds[n++] = pollfd{modemWatch.Fd(), POLLIN, 0};
        const nfds_t listenIdx = listener ? n : 99;
        if (listener) fds[n++] = pollfd{listener.Get(), POLLIN, 0};
        Channel* channels[2] = {&ptyChannel, &tcpChannel};
        nfds_t chanIdx[2] = {99, 99};
        for (int i = 0; i < 2; ++i) {
            Channel& ch = *channels[i];
            if (ch.fd < 0) continue;
            chanIdx[i] = n;
            fds[n++] = pollfd{ch.fd, static_cast<short>(POLLIN | (ch.writeBlocked ? POLLOUT : 0)), 0};
        }
        const int timeout = TimeoutMs(SteadyClock::now());
        timespec ts{timeout / 1000, static_cast<long>(timeout % 1000) * 1000000L};
        const int r = ::ppoll(fds, n, timeout < 0 ? nullptr : &ts, waitMask);
        if (r < 0) {
            if (errno == EINTR) continue;
            std::lock_guard lock(mu);
            lastError = std::string("poll: ") + std::strerror(errno);
            rc = 1;
            break;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(wake.Get(), &count, sizeof count);
        }
        // A close of the modem's port comes before the bytes of a new open.
        if (watchIdx < n && (fds[watchIdx].revents & POLLIN)) ModemPortClosed(log);
        if (listenIdx < n && (fds[listenIdx].revents & POLLIN)) Accept(log);
        for (int i = 0; i < 2; ++i) {
            Channel& ch = *channels[i];
            // The descriptor may have been replaced by Accept in this round.
            if (chanIdx[i] >= n || ch.fd != fds[chanIdx[i]].fd) continue;
            const short ev = fds[chanIdx[i]].revents;
            if (ev & POLLOUT) ch.writeBlocked = false;
            if (ev & (POLLIN | POLLHUP | POLLERR)) ReadInput(ch, log);
        }
        const auto now = SteadyClock::now();
        ModemTick(now, log);
        for (Channel* ch : channels) {
            while (ch->fd >= 0 && ch->parser.HasPartial() &&
                   now - ch->lastInput >= kPartialFrameTimeout)
                HandleFrames(*ch, ch->parser.AbandonPartial(), log);
            if (ch->fd >= 0) FlushDue(*ch, now, log);
        }
        DisplayTick(log);
        Emit(log);
    }
    CloseConnection(tcpChannel, "", log);
    Emit(log);
    return rc;
}

int CCardServer::Impl::TimeoutMs(SteadyClock::time_point now) const {
    long long best = -1;
    const auto consider = [&](long long ms) { best = best < 0 ? ms : std::min(best, ms); };
    for (const Channel* ch : {&ptyChannel, &tcpChannel}) {
        if (ch->fd < 0) continue;
        if (!ch->out.empty() && !ch->writeBlocked) consider(MsUntil(ch->out.front().due, now));
        if (ch->parser.HasPartial()) consider(MsUntil(ch->lastInput + kPartialFrameTimeout, now));
    }
    if (modem && ptyChannel.fd >= 0)
        if (const auto due = modem->NextDeadline()) consider(MsUntil(*due, now));
    if (programsCycle) consider(250); // a program run moves on by the second
    if (const auto due = SnapshotDue()) consider(MsUntil(*due, now));
    return static_cast<int>(std::min<long long>(best, 60000));
}

void CCardServer::Impl::Emit(std::vector<std::string>& lines) {
    if (log)
        for (const std::string& line : lines) log(line);
    lines.clear();
}

void CCardServer::Impl::Accept(std::vector<std::string>& lines) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    CUniqueFd fd(::accept4(listener.Get(), reinterpret_cast<sockaddr*>(&peer), &len,
                           SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd) return; // the peer gave up already, or no descriptor left
    // One control at a time, as a card's network port serves one: a new
    // connection replaces the old one.
    CloseConnection(tcpChannel, "replaced by a new connection", lines);
    char addr[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &peer.sin_addr, addr, sizeof addr);
    lines.push_back(std::string("tcp: connection from ") + addr + ":" +
                    std::to_string(ntohs(peer.sin_port)));
    tcpChannel.fd = fd.Get();
    tcpChannel.connection = std::move(fd);
    tcpChannel.parser = CFrameParser();
    tcpChannel.garbageCounted = 0;
    tcpChannel.repliesSent = 0;
    int closeAfter = -1;
    {
        std::lock_guard lock(mu);
        ++own.connectionsAccepted;
        closeAfter = faults.Config().closeAfter;
    }
    if (closeAfter == 0) CloseConnection(tcpChannel, "closed after 0 replies", lines);
}

void CCardServer::Impl::CloseConnection(Channel& ch, const std::string& why,
                                        std::vector<std::string>& lines) {
    if (ch.pty || ch.fd < 0) return;
    if (!why.empty()) lines.push_back(std::string(ch.name) + ": connection " + why);
    ch.connection.Reset();
    ch.fd = -1;
    ch.out.clear();
    ch.writeBlocked = false;
}

void CCardServer::Impl::ReadInput(Channel& ch, std::vector<std::string>& lines) {
    std::uint8_t buf[4096];
    const ssize_t r = ::read(ch.fd, buf, sizeof buf);
    if (r < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (r <= 0) {
        if (!ch.pty) {
            CloseConnection(ch, r == 0 ? "closed by the peer" : "failed", lines);
            return;
        }
        // The card holds the slave open, so the master never reaches end of
        // file; should it fail anyway, stop listening on it rather than spin.
        lines.push_back(std::string("pty: read failed: ") + std::strerror(errno));
        std::lock_guard lock(mu);
        lastError = lines.back();
        ch.fd = -1;
        return;
    }
    ch.lastInput = SteadyClock::now();
    if (!ch.parser.HasPartial()) ch.frameStart = ch.lastInput; // for pacing
    if (ch.pty && modem) {
        ModemInput(ch, buf, static_cast<std::size_t>(r), lines);
        return;
    }
    HandleFrames(ch, ch.parser.Feed(buf, static_cast<std::size_t>(r)), lines);
}

void CCardServer::Impl::HandleFrames(Channel& ch, std::vector<ParsedFrame>&& frames,
                                     std::vector<std::string>& lines) {
    std::lock_guard lock(mu);
    own.garbageBytes += ch.parser.GarbageBytes() - ch.garbageCounted;
    ch.garbageCounted = ch.parser.GarbageBytes();
    for (const ParsedFrame& f : frames) HandleFrame(ch, f, lines);
}

// Called with mu held.
void CCardServer::Impl::HandleFrame(Channel& ch, const ParsedFrame& f,
                                    std::vector<std::string>& lines) {
    std::string text = FrameText(ch, f);
    if (ch.pty) {
        // A card at one speed reads a frame sent at another as noise.
        unsigned lineSpeed = 0;
        const unsigned want = modem ? modem->Config().lineBaud : baud.load();
        if (!ReadLineSpeed(ch.fd, &lineSpeed) || lineSpeed != want) {
            ++own.wrongSpeed;
            lines.push_back(text + "line at " + std::to_string(lineSpeed) + " bit/s, card at " +
                            std::to_string(want) + ": no answer");
            return;
        }
    }
    CardAnswer a = model.Answer(f, HostNow());
    if (a.blockChanged && !card.stateFile.empty()) {
        std::string error;
        if (!SaveStateFile(card.stateFile, model.Block(), error)) {
            ++own.stateSaveFailures;
            lastError = error;
            lines.push_back("state: " + error);
        }
    }
    if (!a.answered) {
        lines.push_back(text + (f.crcOk ? "another card's number" : "bad CRC") + ", no answer");
        return;
    }
    if (a.displayChanged) snapshotDirty = true;
    if (!a.meaning.empty()) text += a.meaning + "; ";
    const FaultDecision d = faults.Next(a.reply.size(), AnswersWithData(f.Letter()));
    if (d.silent || d.drop) {
        ++(d.silent ? own.silenced : own.dropped);
        lines.push_back(text + (d.silent ? "silent" : "reply dropped"));
        return;
    }
    if (ch.out.size() >= kMaxQueuedChunks) {
        // A peer that sends frames but never reads its replies must not make
        // the card hold on to an ever-growing queue.
        ++own.dropped;
        lines.push_back(text + "output queue full, reply dropped");
        return;
    }
    ApplyFaults(d, a.reply);
    text += "reply " + std::to_string(a.reply.size()) + " byte(s)";
    if (d.corrupt) {
        ++own.corrupted;
        text += ", corrupted";
    }
    if (d.truncate) {
        ++own.truncated;
        text += ", truncated";
    }
    if (d.delay) {
        ++own.delayed;
        text += ", delayed " + std::to_string(faults.Config().delayMs) + " ms";
    }
    lines.push_back(text);
    const SteadyClock::time_point paced =
        card.pace ? PacedReplyDue(ch, f.bytes.size(), a.reply.size()) : SteadyClock::time_point{};
    Schedule(ch, std::move(a.reply), d.delay ? faults.Config().delayMs : 0, paced);
}

// Called with mu held.
void CCardServer::Impl::Schedule(Channel& ch, std::vector<std::uint8_t>&& reply, int delayMs,
                                 SteadyClock::time_point notBefore) {
    // Replies leave in order: one that is due earlier never overtakes one
    // still waiting for its delay.
    auto due = std::max(SteadyClock::now(), notBefore) + std::chrono::milliseconds(delayMs);
    if (!ch.out.empty()) due = std::max(due, ch.out.back().due);
    const std::size_t piece =
        faults.Config().splitBytes > 0 ? static_cast<std::size_t>(faults.Config().splitBytes) : 0;
    const auto gap = std::chrono::milliseconds(std::max(0, faults.Config().splitGapMs));
    if (piece == 0 || reply.size() <= piece) {
        ch.out.push_back(OutChunk{due, std::move(reply), 0, true});
        return;
    }
    for (std::size_t at = 0; at < reply.size(); at += piece) {
        const std::size_t end = std::min(reply.size(), at + piece);
        OutChunk c{due, std::vector<std::uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(at),
                                                  reply.begin() + static_cast<std::ptrdiff_t>(end)),
                   0, end == reply.size()};
        ch.out.push_back(std::move(c));
        due += gap;
    }
}

void CCardServer::Impl::FlushDue(Channel& ch, SteadyClock::time_point now,
                                 std::vector<std::string>& lines) {
    // Held across the (non-blocking) writes, so that whoever has read a reply
    // and then asks for the statistics finds the reply counted.
    std::lock_guard lock(mu);
    while (!ch.writeBlocked && !ch.out.empty() && ch.out.front().due <= now) {
        OutChunk& c = ch.out.front();
        while (c.sent < c.bytes.size()) {
            const std::uint8_t* p = c.bytes.data() + c.sent;
            const std::size_t left = c.bytes.size() - c.sent;
            const ssize_t w = ch.pty ? ::write(ch.fd, p, left) : ::send(ch.fd, p, left, MSG_NOSIGNAL);
            if (w > 0) {
                c.sent += static_cast<std::size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno == EAGAIN) {
                ch.writeBlocked = true;
                return;
            }
            if (!ch.pty) {
                CloseConnection(ch, "failed while writing", lines);
            } else {
                // The control is not reading and the line is gone: the reply is lost.
                ch.out.pop_front();
            }
            return;
        }
        const bool endsReply = c.endsReply;
        ch.out.pop_front();
        if (!endsReply) continue;
        ++ch.repliesSent;
        ++own.repliesSent;
        const int closeAfter = faults.Config().closeAfter;
        if (!ch.pty && closeAfter >= 0 && ch.repliesSent >= closeAfter) {
            CloseConnection(ch, "closed after " + std::to_string(ch.repliesSent) + " replies", lines);
            return;
        }
    }
}

} // namespace cardsim
