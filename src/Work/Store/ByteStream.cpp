#include "Work/Store/ByteStream.h"

#include "Common/InterfaceTable.h"

#include <cstring>

namespace vok {

STDMETHODIMP ByteStream::QueryInterface(REFIID iid, void** out)
{
    return QueryListedInterface<IStream, ISequentialStream>(this, iid, out);
}

STDMETHODIMP ByteStream::Read(void* buffer, ULONG size, ULONG* read)
{
    if (!buffer) return STG_E_INVALIDPOINTER;
    const size_t count = std::min<size_t>(size, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    if (read) *read = static_cast<ULONG>(count);
    return count == size ? S_OK : S_FALSE;
}

STDMETHODIMP ByteStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position)
{
    LONGLONG base = 0;
    switch (origin) {
    case STREAM_SEEK_SET: break;
    case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
    case STREAM_SEEK_END: base = static_cast<LONGLONG>(bytes_.size()); break;
    default: return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG target = base + move.QuadPart;
    // Within the bytes only: a read from past the end has nothing to give.
    if (target < 0 || target > static_cast<LONGLONG>(bytes_.size())) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<size_t>(target);
    if (position) position->QuadPart = static_cast<ULONGLONG>(target);
    return S_OK;
}

STDMETHODIMP ByteStream::Stat(STATSTG* stat, DWORD)
{
    if (!stat) return STG_E_INVALIDPOINTER;
    *stat = {};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes_.size();
    stat->grfMode = STGM_READ;
    return S_OK;
}

STDMETHODIMP ByteStream::Clone(IStream** out)
{
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

} // namespace vok
