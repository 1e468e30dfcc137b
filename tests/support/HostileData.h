#pragma once
// A data object of another program for tests of paste and drop: each
// format it offers answers the way the test tells it, with bytes, a
// success that hands over nothing, a stream that claims more than it
// read, or an error.
#include <windows.h>
#include <objidl.h>
#include <string>
#include <vector>

namespace test {

// How a hostile data object answers GetData for one format.
enum class Answer {
    Bytes,         // a block holding the bytes
    NullBlock,     // S_OK with TYMED_HGLOBAL and a null handle
    NullStream,    // S_OK with TYMED_ISTREAM and a null stream
    Boasting,      // a stream whose Read claims ten times what it read
    Fail,          // an error
};

// A data object of another program that answers as it is told.
class HostileData : public IDataObject {
public:
    HostileData& Offer(CLIPFORMAT cf, Answer answer, const std::string& bytes = std::string(),
                       LONG lindex = -1)
    {
        m_formats.push_back({cf, lindex, answer, bytes});
        return *this;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IDataObject) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_nRef; }   // lives on the test's stack

    STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* f) override { return Find(f) ? S_OK : DV_E_FORMATETC; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    struct Format {
        CLIPFORMAT cf;
        LONG lindex;
        Answer answer;
        std::string bytes;
    };
    static DWORD Tymed(Answer a)
    {
        return a == Answer::NullStream || a == Answer::Boasting ? TYMED_ISTREAM : TYMED_HGLOBAL;
    }
    const Format* Find(const FORMATETC* f) const
    {
        for (const Format& e : m_formats)
            if (e.cf == f->cfFormat && (e.lindex == f->lindex || f->lindex == -1) && (Tymed(e.answer) & f->tymed))
                return &e;
        return nullptr;
    }

    std::vector<Format> m_formats;
    ULONG m_nRef = 1;
};

} // namespace test
