#include "control/automation/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace palvex {

const ISequentialStreamVtbl CMemoryStream::kTable = {
    com::QueryInterfaceThunk<CMemoryStream, ISequentialStream>,
    com::AddRefThunk<CMemoryStream, ISequentialStream>,
    com::ReleaseThunk<CMemoryStream, ISequentialStream>,
    CMemoryStream::Read,
    CMemoryStream::Write,
};

CMemoryStream::CMemoryStream(std::vector<std::uint8_t> bytes)
    : m_bytes(std::move(bytes)), m_stream(&kTable, this) {}

CMemoryStream* CMemoryStream::Create(std::vector<std::uint8_t> bytes) {
    try {
        return new CMemoryStream(std::move(bytes));
    } catch (...) {
        return nullptr;
    }
}

HRESULT CMemoryStream::QueryInterface(REFIID riid, void** ppv) {
    if (SameGuid(*riid, IID_IUnknown) || SameGuid(*riid, IID_ISequentialStream))
        return Hand(&m_stream.iface, ppv);
    return E_NOINTERFACE;
}

HRESULT CMemoryStream::Read(ISequentialStream* This, void* pv, ULONG cb, ULONG* read) {
    CMemoryStream& self = *com::ObjectOf<CMemoryStream>(This);
    if (pv == nullptr && cb > 0) return E_POINTER;
    const std::size_t n = std::min<std::size_t>(cb, self.m_bytes.size() - self.m_readPos);
    if (n > 0) std::memcpy(pv, self.m_bytes.data() + self.m_readPos, n);
    self.m_readPos += n;
    if (read != nullptr) *read = static_cast<ULONG>(n);
    return n == cb ? S_OK : S_FALSE;
}

HRESULT CMemoryStream::Write(ISequentialStream* This, const void* pv, ULONG cb, ULONG* written) {
    CMemoryStream& self = *com::ObjectOf<CMemoryStream>(This);
    if (written != nullptr) *written = 0;
    if (pv == nullptr && cb > 0) return E_POINTER;
    try {
        const auto* p = static_cast<const std::uint8_t*>(pv);
        self.m_bytes.insert(self.m_bytes.end(), p, p + cb);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (written != nullptr) *written = cb;
    return S_OK;
}

} // namespace palvex
