// The figures of the Windows build (under Wine, or on Windows): acknowledged
// Reset exchanges of the control through IDispatch, the control made from
// the Palvex.ocx beside this program as palvex.exe makes it, beside the raw
// round trip of the same bytes on the same channel with no protocol: over
// TCP to a local peer (plain Winsock), and over COM3 to the simulated card
// (the plain Win32 communications calls). As bench/perf_table.cpp does on
// Linux: the ratio says how close the control comes to its channel. The two
// sides take turns for nine rounds, each going first in every other round,
// each opening its link afresh; the figure is the median of the rounds'
// ratios, so that a burst of other work on the machine moves it little, and
// the rates beside it are the means.
#include "control/host/hosted_control.h"
#include "control/host/variant_args.h"
#include "control/palvex_facts.h"

#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

namespace {

using palvex::host::IHostedControl;

constexpr unsigned char kZFrame[12] = {0x1B, '$', 'Q', 'K', '0', '1', 'W', 0, 1, 'Z', 0xC8, 0x8E};
constexpr unsigned char kZAck[6] = {5, 'Z', 0xC8, 0x8E, 'O', 'K'};
constexpr int kRounds = 9;
constexpr double kRoundSeconds = 0.5; // a side
constexpr int kWarmUp = 50;
constexpr unsigned kBaud = 57600;

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Round trips a second of `trip` for kRoundSeconds, after a warm-up; 0 at
// the first failure.
template <class Trip> double Rate(Trip trip) {
    for (int i = 0; i < kWarmUp; ++i)
        if (!trip()) return 0;
    long n = 0;
    const double start = Seconds();
    while (Seconds() - start < kRoundSeconds) {
        if (!trip()) return 0;
        ++n;
    }
    return n / (Seconds() - start);
}

class CWinsock {
  public:
    CWinsock() { m_ok = WSAStartup(MAKEWORD(2, 2), &m_data) == 0; }
    ~CWinsock() {
        if (m_ok) WSACleanup();
    }
    bool Ok() const { return m_ok; }

  private:
    WSADATA m_data{};
    bool m_ok = false;
};

class CSocket {
  public:
    explicit CSocket(SOCKET s = INVALID_SOCKET) : m_s(s) {}
    ~CSocket() { Close(); }
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    SOCKET Get() const { return m_s; }
    void Close() {
        if (m_s != INVALID_SOCKET) closesocket(m_s);
        m_s = INVALID_SOCKET;
    }

  private:
    SOCKET m_s;
};

bool SendAll(SOCKET s, const unsigned char* p, int n) {
    while (n > 0) {
        const int w = send(s, reinterpret_cast<const char*>(p), n, 0);
        if (w <= 0) return false;
        p += w, n -= w;
    }
    return true;
}

bool ReceiveAll(SOCKET s, unsigned char* p, int n) {
    while (n > 0) {
        const int r = recv(s, reinterpret_cast<char*>(p), n, 0);
        if (r <= 0) return false;
        p += r, n -= r;
    }
    return true;
}

void NoDelay(SOCKET s) {
    const BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

// A loopback peer that answers every frame of 12 bytes on each connection
// with the acknowledgement, one connection after the other.
class CEchoPeer {
  public:
    CEchoPeer() : m_listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof sa;
        if (bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            listen(m_listener.Get(), 1) != 0 ||
            getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            return;
        m_port = ntohs(sa.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CEchoPeer() {
        m_listener.Close(); // ends the wait for the next connection
        if (m_thread.joinable()) m_thread.join();
    }
    unsigned Port() const { return m_port; }

  private:
    void Serve() {
        for (;;) {
            CSocket connection(accept(m_listener.Get(), nullptr, nullptr));
            if (connection.Get() == INVALID_SOCKET) return;
            NoDelay(connection.Get());
            unsigned char frame[sizeof kZFrame];
            while (ReceiveAll(connection.Get(), frame, sizeof frame) &&
                   SendAll(connection.Get(), kZAck, sizeof kZAck)) {
            }
        }
    }

    CSocket m_listener;
    unsigned m_port = 0;
    std::thread m_thread;
};

// One call of the control by dispatch identifier; true when it returned TRUE.
bool Call(IHostedControl& control, DISPID id, std::initializer_list<VARIANT> args) {
    VARIANT packed[8];
    DISPPARAMS params = palvex::host::PackArguments({args.begin(), args.size()}, packed);
    VARIANT result;
    VariantInit(&result);
    unsigned argErr = 0;
    const HRESULT hr = control.Invoke(id, params, result, argErr);
    const bool ok = SUCCEEDED(hr) && result.vt == VT_BOOL && result.boolVal != VARIANT_FALSE;
    VariantClear(&result);
    return ok;
}

// Reset exchanges a second through IDispatch on the link `open` opened.
double ControlRate(std::initializer_list<VARIANT> open, DISPID how) {
    using namespace palvex;
    std::string error;
    const auto control = host::CreateHostedControl({}, error);
    if (control == nullptr) {
        std::printf("the control cannot be made: %s\n", error.c_str());
        return 0;
    }
    double rate = 0;
    if (Call(*control, how, open) &&
        Call(*control, dispid::SetLedProperty,
             {host::ShortArg(1), host::ShortArg(256), host::ShortArg(64)}))
        rate = Rate([&] { return Call(*control, dispid::Reset, {}); });
    Call(*control, dispid::QKClose, {});
    return rate;
}

double RawWinsockRate(unsigned port) {
    CSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<u_short>(port));
    if (connect(s.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return 0;
    NoDelay(s.Get());
    unsigned char reply[sizeof kZAck];
    return Rate([&] {
        return SendAll(s.Get(), kZFrame, sizeof kZFrame) &&
               ReceiveAll(s.Get(), reply, sizeof reply);
    });
}

// COM3 at kBaud, 8N1, no flow control; a read returns as soon as bytes
// are there, or after a second.
double RawSerialRate() {
    const HANDLE port = CreateFileW(L"\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return 0;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    dcb.BaudRate = kBaud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = dcb.fInX = FALSE;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutConstant = 1000;
    double rate = 0;
    if (SetCommState(port, &dcb) && SetCommTimeouts(port, &timeouts)) {
        PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
        unsigned char reply[sizeof kZAck];
        rate = Rate([&] {
            DWORD done = 0;
            if (!WriteFile(port, kZFrame, sizeof kZFrame, &done, nullptr) || done != sizeof kZFrame)
                return false;
            for (DWORD got = 0; got < sizeof reply; got += done)
                if (!ReadFile(port, reply + got, sizeof reply - got, &done, nullptr) || done == 0)
                    return false;
            return true;
        });
    }
    CloseHandle(port);
    return rate;
}

// The rounds of the two sides (each a function that opens its link and
// gives its rate, 0 when it cannot): the mean rates and the median ratio.
struct SRounds {
    double control = 0;
    double raw = 0;
    double ratio = 0;
};

template <class Control, class Raw> SRounds Alternate(Control control, Raw raw) {
    SRounds r;
    std::vector<double> ratios;
    for (int i = 0; i < kRounds; ++i) {
        double c = 0, w = 0;
        if (i % 2 == 0) {
            c = control();
            w = raw();
        } else {
            w = raw();
            c = control();
        }
        if (c <= 0 || w <= 0) return {};
        r.control += c / kRounds;
        r.raw += w / kRounds;
        ratios.push_back(c / w);
    }
    std::nth_element(ratios.begin(), ratios.begin() + kRounds / 2, ratios.end());
    r.ratio = ratios[kRounds / 2];
    return r;
}

bool Row(const char* channel, const char* raw, const SRounds& r) {
    char figure[128];
    std::snprintf(figure, sizeof figure,
                  "exchanges over %s through IDispatch: %.0f/s vs %s %.0f/s, ratio", channel,
                  r.control, raw, r.raw);
    const double ratio = r.ratio;
    const bool met = ratio >= 0.8;
    std::printf("%-66s %10.3f %-8s %-10s %s\n", figure, ratio, "", ">= 0.80",
                met ? "met" : "MISSED");
    return met;
}

const char* System() {
    using WineVersion = const char*(CDECL*)();
    const auto version = reinterpret_cast<WineVersion>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return version != nullptr ? "under Wine" : "on Windows";
}

} // namespace

int main() {
    using namespace palvex;
    const CWinsock winsock;
    if (!winsock.Ok()) return 1;
    std::printf("Windows figures, %d-bit, %s (cardsim on COM3 at %u bit/s)\n",
                static_cast<int>(sizeof(void*) * 8), System(), kBaud);
    std::printf("%-66s %10s %-8s %-10s %s\n", "figure", "value", "", "target", "");
    bool allMet = true;
    {
        CEchoPeer peer;
        const auto port = peer.Port();
        const SRounds tcp = Alternate(
            [&] {
                return ControlRate({host::ShortArg(0), host::LongArg(0x7F000001),
                                    host::ShortArg(port), host::ShortArg(1000)},
                                   dispid::NetInitial);
            },
            [&] { return RawWinsockRate(port); });
        allMet = Row("TCP", "raw Winsock", tcp) && allMet;
    }
    const SRounds com3 = Alternate(
        [] {
            return ControlRate({host::ShortArg(3), host::ShortArg(kBaud), host::ShortArg(1000)},
                               dispid::ComInitial);
        },
        [] { return RawSerialRate(); });
    allMet = Row("COM3", "raw Win32 serial", com3) && allMet;
    std::printf("\n%s\n", allMet ? "every target met" : "some targets missed");
    return 0;
}
