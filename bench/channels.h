// Raw channels for the benchmarks: a pty pair and a loopback TCP pair, and a
// peer that answers each frame with an acknowledgement and nothing else. The
// round trip over them with no protocol is the limit an exchange can reach.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

namespace bench {

constexpr std::size_t kFrameLen = 12; // the "Z" frame for card 1
constexpr std::size_t kReplyLen = 6;  // its acknowledgement
extern const unsigned char kZFrame[kFrameLen];
extern const unsigned char kZAck[kReplyLen];

bool ReadAll(int fd, unsigned char* buf, std::size_t n);
bool WriteAll(int fd, const unsigned char* buf, std::size_t n);

// Answers every kFrameLen bytes read from fd with kZAck, until destroyed.
class CEchoPeer {
public:
    explicit CEchoPeer(int fd);
    ~CEchoPeer();
    CEchoPeer(const CEchoPeer&) = delete;
    CEchoPeer& operator=(const CEchoPeer&) = delete;

private:
    void Loop();
    int m_fd;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Both ends of a raw pty at `baud` (slave side) and of a loopback TCP
// connection with Nagle off; -1 on failure.
struct FdPair {
    int a = -1; // the side the control would use
    int b = -1; // the card's side
    FdPair() = default;
    FdPair(const FdPair&) = delete;
    FdPair& operator=(const FdPair&) = delete;
    ~FdPair();
};
bool OpenPtyPair(FdPair& pair, unsigned baud);
bool OpenTcpPair(FdPair& pair);
// A listening loopback socket and its port, for a control to connect to.
int ListenLoopback(unsigned* port);

// Round trips per second of kZFrame out and kZAck back over pair.a for
// `seconds`, with a CEchoPeer on pair.b.
double RawRoundTripsPerSecond(FdPair& pair, double seconds);

} // namespace bench
