// A read-only stream over bytes its caller keeps alive, through which a
// shell link is loaded from the very bytes that were checked. It lives on
// its caller's stack and copies nothing. (A stream of the system's own,
// SHCreateMemStream, kept a reference after each load under this Wine and so
// leaked itself and its copy of the link: some 4 MiB every 1,000 menus.)
#pragma once

#include <objidl.h>

#include <string>

namespace vok {

class ByteStream final : public IStream {
public:
    explicit ByteStream(const std::string& bytes) : bytes_(bytes) {}
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    // IUnknown: the count is kept as COM wants it, but never ends the
    // object's life, which is its owner's.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override { return references_ > 1 ? --references_ : 1; }

    // ISequentialStream and IStream: reading, seeking and Stat; the rest
    // refuses, as a read-only stream does.
    STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override;
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
    STDMETHODIMP Clone(IStream** out) override;

private:
    const std::string& bytes_;
    size_t position_ = 0;
    ULONG references_ = 1;
};

} // namespace vok
