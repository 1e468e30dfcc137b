#include "HostileData.h"
#include <shlobj.h>
#include <algorithm>
#include <cstring>

namespace test {

namespace {

// A stream over bytes whose Stat and Read lie the way `Answer` says.
class LyingStream : public IStream {
public:
    explicit LyingStream(const std::string& bytes) : m_bytes(bytes) {}
    virtual ~LyingStream() = default;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG n = --m_nRef;
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHODIMP Read(void* buffer, ULONG cb, ULONG* read) override
    {
        const ULONG n = static_cast<ULONG>(std::min<size_t>(cb, m_bytes.size() - m_nPos));
        std::memcpy(buffer, m_bytes.data() + m_nPos, n);
        m_nPos += n;
        if (read)
            *read = n ? n * 10 + 1000 : 0;   // more than asked, more than the buffer
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG* stat, DWORD) override
    {
        std::memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = m_bytes.size();
        return S_OK;
    }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    std::string m_bytes;
    size_t m_nPos = 0;
    ULONG m_nRef = 1;
};

} // namespace

STDMETHODIMP HostileData::GetData(FORMATETC* f, STGMEDIUM* medium)
{
    const Format* e = Find(f);
    if (!e)
        return DV_E_FORMATETC;
    std::memset(medium, 0, sizeof *medium);
    switch (e->answer) {
    case Answer::Bytes: {
        HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, e->bytes.size() ? e->bytes.size() : 1);
        std::memcpy(::GlobalLock(block), e->bytes.data(), e->bytes.size());
        ::GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        return S_OK;
    }
    case Answer::NullBlock:
        medium->tymed = TYMED_HGLOBAL;
        return S_OK;
    case Answer::NullStream:
        medium->tymed = TYMED_ISTREAM;
        return S_OK;
    case Answer::Boasting:
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = new LyingStream(e->bytes);
        return S_OK;
    case Answer::Fail:
        break;
    }
    return E_FAIL;
}

STDMETHODIMP HostileData::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out)
{
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    std::vector<FORMATETC> formats;
    for (const Format& e : m_formats)
        formats.push_back({e.cf, nullptr, DVASPECT_CONTENT, e.lindex, Tymed(e.answer)});
    return ::SHCreateStdEnumFmtEtc(static_cast<UINT>(formats.size()), formats.data(), out);
}

} // namespace test
