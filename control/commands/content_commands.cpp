#include "control/commands/command_set.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

std::uint8_t Clamp14(std::uint8_t v) { return v > 14 ? 14 : v; }

// True for a regular file that is not read-only, that is one whose
// permission bits let somebody write it. Missing files, directories and
// devices are not font libraries.
bool IsWritableRegularFile(const char* name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(name, ec);
    if (ec || !fs::is_regular_file(st)) return false;
    constexpr fs::perms kAnyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (st.permissions() & kAnyWrite) != fs::perms::none;
}

} // namespace

bool CCommandSet::GeometryValid() const {
    return palvex::card::ScreenFits(m_state.m_nLedWidth, m_state.m_nLedHeight);
}

short CCommandSet::GetTotalPageNum() { return m_state.m_nTotalPages; }

short CCommandSet::GetSendStepNum() { return m_state.m_nSendSteps; }

BOOL CCommandSet::SendPicture(short ProgNum, short Step, LONG_PTR lpBuff) {
    if (ProgNum < 0 || Step < 0) return FALSE;
    if (Step >= m_state.m_nSendSteps) return TRUE; // beyond the last step: nothing to send
    if (ProgNum >= m_state.m_nTotalPages) return FALSE;
    const auto* picture = reinterpret_cast<const std::uint8_t*>(lpBuff);
    if (picture == nullptr || !GeometryValid()) return FALSE;

    // "G", page, step, then one byte per column. A screen taller than 64
    // rows carries two rows per step: row s in the low and row s + 64 in the
    // high four bits.
    BYTE body[3 + 512];
    body[0] = 'G';
    body[1] = static_cast<BYTE>(ProgNum & 0x3F);
    body[2] = static_cast<BYTE>(Step & 0x3F);
    const std::uint8_t* row = picture + Step * kPictureRowPitch;
    const bool twoRows = m_state.m_nLedHeight > 64 && Step + 64 < m_state.m_nLedHeight;
    const std::uint8_t* lower = picture + (Step + 64) * kPictureRowPitch;
    for (int j = 0; j < m_state.m_nLedWidth; ++j)
        body[3 + j] = twoRows ? static_cast<BYTE>(row[j] | (lower[j] << 4)) : row[j];
    return ExchangeFrame(body, static_cast<std::uint16_t>(m_state.m_nLedWidth + 3));
}

BOOL CCommandSet::SendProgList(short TotalProgNum, LONG_PTR lpProgList) {
    auto* records = reinterpret_cast<std::uint8_t*>(lpProgList);
    if (TotalProgNum < 0 || records == nullptr) return FALSE;
    const int n = TotalProgNum > kMaxProgEntries ? kMaxProgEntries : TotalProgNum;

    BYTE body[2 + 4 * kMaxProgEntries];
    body[0] = 'H';
    body[1] = static_cast<BYTE>(n);
    for (int i = 0; i < n; ++i) {
        std::uint8_t* r = records + i * kProgRecordSize;
        // Normalise the record in place; the caller sees the packed values.
        r[0] = static_cast<std::uint8_t>(Clamp14(r[0]) << 4);
        r[1] = static_cast<std::uint8_t>((r[1] & 0x03) << 4);
        r[2] = Clamp14(r[2]);
        unsigned value = r[4] | (r[5] << 8);
        if (r[3] == 0 && (value & 0x7FFF) == 0) value = 1;
        r[4] = static_cast<std::uint8_t>(value & 0xFF);
        r[5] = static_cast<std::uint8_t>(value >> 8);
        r[6] &= 0x0F;

        // The list is a ring: the last entry takes its flag from record 0.
        const std::uint8_t* next = records + ((i + 1 < n) ? i + 1 : 0) * kProgRecordSize;
        BYTE* e = body + 2 + 4 * i;
        e[0] = static_cast<BYTE>(r[0] | r[2]);
        e[1] = static_cast<BYTE>(((next[3] & 1) << 7) | r[1] | r[6]);
        e[2] = static_cast<BYTE>(value >> 8);
        e[3] = static_cast<BYTE>(value & 0xFF);
    }
    const auto length = static_cast<std::uint16_t>(4 * n + 2);
    // In capture mode only the list itself is built, so that it stays the
    // stored frame; in sending mode the clock and the start command follow.
    if (!m_state.m_bSendFlag) return ExchangeFrame(body, length);
    if (!ExchangeFrame(body, length)) return FALSE;
    if (!ExecuteCommand('D', nullptr, 0)) return FALSE;
    return ExecuteCommand('F', nullptr, 0);
}

BOOL CCommandSet::SendHZLib(short Steps, LONG_PTR lpLibFileName) {
    const char* name = reinterpret_cast<const char*>(lpLibFileName);
    if (Steps < 0 || name == nullptr) return FALSE;
    // A read-only library is refused. Read-only is decided by the file's own
    // permission bits, not by a trial open for update: the superuser may open
    // any file for update, and the answer must not depend on who runs us.
    if (!IsWritableRegularFile(name)) return FALSE;
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) return FALSE;
    BYTE body[3 + kFontBlockSize];
    std::memset(body, 0, sizeof body);
    const long offset = static_cast<long>(Steps) * kFontBlockSize;
    if (std::fseek(file, offset, SEEK_SET) == 0)
        std::fread(body + 3, 1, kFontBlockSize, file); // a short block stays zero-filled
    std::fclose(file);
    const unsigned address = (static_cast<unsigned>(Steps) * 4) & 0xFFFF;
    body[0] = 'I';
    body[1] = static_cast<BYTE>(address >> 8);
    body[2] = static_cast<BYTE>(address & 0xFF);
    return ExchangeFrame(body, static_cast<std::uint16_t>(sizeof body));
}

BOOL CCommandSet::SetOrderList(short count, LONG_PTR lptrList) {
    const auto* list = reinterpret_cast<const short*>(lptrList);
    if (count < 0 || count > kMaxOrderEntries || list == nullptr) return FALSE;
    BYTE ops[1 + kMaxOrderEntries];
    ops[0] = static_cast<BYTE>(count);
    for (int i = 0; i < count; ++i) ops[1 + i] = static_cast<BYTE>(list[i] & 0xFF);
    return ExecuteCommand('x', ops, count + 1);
}
