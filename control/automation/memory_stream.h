// A byte stream in memory for saving and loading a control: writes append,
// reads take bytes from the front.
#pragma once

#include "control/automation/com_object.h"

#include <cstdint>
#include <vector>

namespace palvex {

class CMemoryStream final : public com::CComObject {
  public:
    // A stream holding `bytes` to read; one reference, the caller's.
    static CMemoryStream* Create(std::vector<std::uint8_t> bytes = {});

    ISequentialStream* Interface() { return &m_stream.iface; }
    // Everything the stream holds, read or not.
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

    HRESULT QueryInterface(REFIID riid, void** ppv) override;

  private:
    explicit CMemoryStream(std::vector<std::uint8_t> bytes);

    static HRESULT Read(ISequentialStream* This, void* pv, ULONG cb, ULONG* read);
    static HRESULT Write(ISequentialStream* This, const void* pv, ULONG cb, ULONG* written);
    static const ISequentialStreamVtbl kTable;

    std::vector<std::uint8_t> m_bytes;
    std::size_t m_readPos = 0;
    com::InterfaceOf<ISequentialStream, CMemoryStream> m_stream;
};

} // namespace palvex
