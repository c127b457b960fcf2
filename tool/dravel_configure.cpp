// The configure procedure of the main dialog: the settings shown in the
// dialog go into the card that the last search found.
#include "tool/dravel_dlg.h"

#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"

#include <cstdio>

namespace dravel {

namespace {

// Reply wait of the configure exchange, in milliseconds.
constexpr short kConfigureWaitMs = 1000;
// Largest number the three hex digits of width or height can carry.
constexpr unsigned kMaxSizeField = 0xFFF;

} // namespace

void CDravelDlg::CollectSettings() {
    UpdateData(true);
    m_nNumber = static_cast<std::uint8_t>(m_nScreen);
    m_nWidth = static_cast<std::uint16_t>(DecimalValue(m_strWidth));
    m_nHeight = static_cast<std::uint16_t>(DecimalValue(m_strHeight));
    m_nColor = static_cast<std::uint8_t>(m_nModule);
    m_nFlags = PackWiringFlags(m_bLeftToRight, m_bBlankInvert, m_bDataInvert, m_bEvenColReverse,
                               m_bOddColReverse, m_bRow8Reverse, m_bRowSwap);
}

bool CDravelDlg::OnConfigure() {
    CollectSettings();

    bool ok = false;
    // The configuration string is exactly 8 characters: three hex digits each
    // for width and height, two for the flags byte with the module type in
    // bit 0. Settings that do not fit (no module chosen) are not sent, so the
    // card never receives a string cut short.
    if (m_nWidth <= kMaxSizeField && m_nHeight <= kMaxSizeField && m_nColor <= 1) {
        char property[16];
        std::snprintf(property, sizeof property, "%03X%03X%02X", static_cast<unsigned>(m_nWidth),
                      static_cast<unsigned>(m_nHeight), static_cast<unsigned>(m_nFlags + m_nColor));

        if (m_ctlLink.ComInitial(m_nPort, static_cast<short>(m_nBaud), kConfigureWaitMs)) {
            if (m_ctlLink.SetLedProperty(m_nNumber, static_cast<short>(m_nWidth),
                                         static_cast<short>(m_nHeight)) &&
                m_ctlLink.QKSetProperty(reinterpret_cast<LONG_PTR>(property))) {
                WriteSettings(kProductKey, {{kValueNumber, m_nNumber},
                                            {kValueWidth, m_nWidth},
                                            {kValueHeight, m_nHeight},
                                            {kValueColor, m_nColor}});
                ok = true;
            }
            m_ctlLink.QKClose();
        }
    }
    m_host.ShowMessage(ok ? text::kConfigSucceeded : text::kConfigFailed, text::kConfigureCaption,
                       MessageIcon::None);
    return ok;
}

} // namespace dravel
