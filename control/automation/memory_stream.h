// A byte stream in memory for saving and loading a control: writes append,
// reads take bytes from the front.
#pragma once

#include "control/automation/com_object.h"

#include <cstdint>
#include <vector>

namespace palvex {

class CMemoryStream final : public com::CComObject<CMemoryStream, ISequentialStream> {
  public:
    // A stream holding `bytes` to read; one reference, the caller's. nullptr
    // when there is no memory for it.
    static CMemoryStream* Create(std::vector<std::uint8_t> bytes = {});

    // Everything the stream holds, read or not.
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

    void* Find(REFIID riid);
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* written) override;

  private:
    explicit CMemoryStream(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    std::vector<std::uint8_t> m_bytes;
    std::size_t m_readPos = 0;
};

} // namespace palvex
