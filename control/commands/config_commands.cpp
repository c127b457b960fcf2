#include "control/commands/command_set.h"

#include "control/palvex_facts.h"
#include "control/protocol/convert.h"

namespace {

using palvex::card::kMaxLedNum;
constexpr int kMaxWidth = palvex::card::kMaxLedWidth;
constexpr int kMaxHeight = palvex::card::kMaxLedHeight;
constexpr int kMaxSteps = palvex::card::kMaxSendSteps;
constexpr long kPictureMemory = palvex::card::kPictureMemoryBytes;
namespace property = palvex::card::property;

} // namespace

BOOL CCommandSet::SetLedProperty(short LedNum, short LedWidth, short LedHeight) {
    m_state.m_bPropertySet = FALSE;
    m_state.m_nLedNum = LedNum;
    m_state.m_nLedWidth = LedWidth;
    m_state.m_nLedHeight = LedHeight;
    // Values below the data model (negative card numbers, empty screens) are
    // refused too: the header prints the number as two hex digits and the page
    // computation divides by the page size.
    if (LedNum > kMaxLedNum || LedWidth > kMaxWidth || LedHeight > kMaxHeight) return FALSE;
    if (LedNum < 0 || LedWidth < 1 || LedHeight < 1) return FALSE;

    m_state.m_nSendSteps = LedHeight > kMaxSteps ? static_cast<short>(kMaxSteps) : LedHeight;
    const long roundedWidth = (LedWidth + 255) & ~0xFF;
    const long pageSize = m_state.m_nSendSteps * roundedWidth;
    m_state.m_nTotalPages = static_cast<short>(kPictureMemory / pageSize - (pageSize < 512 ? 2 : 1));
    m_state.m_bPropertySet = TRUE;
    return TRUE;
}

BOOL CCommandSet::QKGetProperty(char* text, std::size_t size) {
    if (text == nullptr || size < kPropertyTextCapacity) return FALSE;
    return ExecuteCommand('A', reinterpret_cast<BYTE*>(text), 0);
}

short CCommandSet::GetVersion() {
    BYTE text[300];
    if (!ExecuteCommand('A', text, 0)) return -1;
    // In capture mode the exchange succeeds with an empty text: no version is
    // known, and 0 says so without posing as the failure value.
    if (text[0] == 0) return 0;
    const int minor = text[property::kMinorVersionAt] - '0';
    const int flags = HexPairToByte(static_cast<char>(text[property::kFlagsAt]),
                                    static_cast<char>(text[property::kFlagsAt + 1]));
    return static_cast<short>(((minor & 0xFF) << 8) | flags);
}

BOOL CCommandSet::SendPropertyString(BYTE letter, LONG_PTR lpProperty) {
    const char* text = reinterpret_cast<const char*>(lpProperty);
    if (text == nullptr) return FALSE;
    // Exactly eight characters are read and no terminator is needed, but a
    // text that ends earlier is refused rather than read past its end.
    for (int i = 0; i < 8; ++i)
        if (text[i] == '\0') return FALSE;
    BYTE bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = HexPairToByte(text[2 * i], text[2 * i + 1]);
    return ExecuteCommand(letter, bytes, 4);
}

BOOL CCommandSet::QKSetup(LONG_PTR lpProperty) { return SendPropertyString('B', lpProperty); }

BOOL CCommandSet::QKSetProperty(LONG_PTR lpProperty) { return SendPropertyString('C', lpProperty); }
