// A scripted link for exchange tests: records every frame written and answers
// each read from a queue of prepared replies (an empty entry is a time-out).
#pragma once

#include "control/link/palvex_ctrl.h"

#include <deque>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const std::string& text);
std::string ToHex(const std::uint8_t* data, std::size_t n);
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

class CFakeLink : public palvex::ILinkTransport {
public:
    int attempts = 5;
    int perByteMs = 4;
    std::vector<std::int64_t> allowedMs; // the time each read was given
    std::vector<Bytes> written;
    std::deque<Bytes> replies; // what each read delivers (possibly short or long)
    int purges = 0;
    int reads = 0;
    bool autoAck = false; // with no scripted reply, acknowledge the last frame

    int MaxAttempts() const override { return attempts; }
    int PerByteMs() const override { return perByteMs; }
    void Purge() override { ++purges; }
    bool Write(const std::uint8_t* data, std::size_t n) override {
        written.emplace_back(data, data + n);
        return true;
    }
    std::size_t ReadExact(std::uint8_t* buf, std::size_t n,
                          const palvex::CDeadline& deadline) override {
        ++reads;
        allowedMs.push_back(deadline.AllowedMs());
        if (replies.empty() && autoAck && !written.empty()) {
            const Bytes& f = written.back();
            replies.push_back(Bytes{0x05, f[9], f[10], f[11], 'O', 'K'});
        }
        if (replies.empty()) return 0;
        Bytes r = replies.front();
        replies.pop_front();
        const std::size_t k = r.size() < n ? r.size() : n;
        for (std::size_t i = 0; i < k; ++i) buf[i] = r[i];
        return k;
    }
    const char* Describe() const override { return "fake"; }
};

// The control wired to a fake link, with a pinned clock.
class CTestControl : public CPalvexCtrl {
public:
    CFakeLink link;
    std::tm now{};

    CTestControl() {
        SetClock([](void* self) { return static_cast<CTestControl*>(self)->now; }, this);
    }
    void Open(short waitTime = 100) { AttachTransport(&link, waitTime); }
};

// A control in capture mode, armed for a screen of the given size: it builds
// and keeps each frame and sends none.
class CCaptureControl : public CTestControl {
  public:
    explicit CCaptureControl(short width = 256, short height = 64);
};

// The last frame built, as GetSendString reports it; empty when refused.
Bytes StoredBytes(CPalvexCtrl& c);
// The payload of the stored frame (without header, length and CRC).
Bytes StoredBody(CPalvexCtrl& c);

std::tm MakeTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                 int wday = 0);

} // namespace testing_support
