#include "control/automation/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace palvex {

CMemoryStream* CMemoryStream::Create(std::vector<std::uint8_t> bytes) {
    try {
        return new CMemoryStream(std::move(bytes));
    } catch (...) {
        return nullptr;
    }
}

void* CMemoryStream::Find(REFIID riid) {
    if (SameGuid(riid, IID_IUnknown) || SameGuid(riid, IID_ISequentialStream))
        return static_cast<ISequentialStream*>(this);
    return nullptr;
}

HRESULT CMemoryStream::Read(void* pv, ULONG cb, ULONG* read) {
    if (pv == nullptr && cb > 0) return E_POINTER;
    const std::size_t n = std::min<std::size_t>(cb, m_bytes.size() - m_readPos);
    if (n > 0) std::memcpy(pv, m_bytes.data() + m_readPos, n);
    m_readPos += n;
    if (read != nullptr) *read = static_cast<ULONG>(n);
    return n == cb ? S_OK : S_FALSE;
}

HRESULT CMemoryStream::Write(const void* pv, ULONG cb, ULONG* written) {
    if (written != nullptr) *written = 0;
    if (pv == nullptr && cb > 0) return E_POINTER;
    try {
        const auto* p = static_cast<const std::uint8_t*>(pv);
        m_bytes.insert(m_bytes.end(), p, p + cb);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (written != nullptr) *written = cb;
    return S_OK;
}

} // namespace palvex
