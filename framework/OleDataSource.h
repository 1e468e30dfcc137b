#pragma once
#include <windows.h>
#include <ole2.h>
#include <vector>

// Data this program offers to the clipboard or to a drag: blocks of
// global memory, each under a format, given out as global memory, a stream
// or a file as the entry's description allows. Reference counted; the
// creator holds the first reference.
class COleDataSource : public IDataObject {
public:
    COleDataSource() = default;
    COleDataSource(const COleDataSource&) = delete;
    COleDataSource& operator=(const COleDataSource&) = delete;

    // Takes `data` under `cf`; `format` describes the entry (default:
    // content, every item, global memory).
    void CacheGlobalData(CLIPFORMAT cf, HGLOBAL data, const FORMATETC* format = nullptr);
    // Hands this object to the clipboard, which keeps it until the
    // clipboard is next emptied; the creator's reference goes with it.
    bool SetClipboard();
    // Runs a drag once the pointer leaves the start rectangle (around the
    // pointer by default) with the button held. Returns the effect the
    // target chose, or DROPEFFECT_NONE.
    DWORD DoDragDrop(DWORD allowedEffects, const RECT* startRect = nullptr,
                     IDropSource* dropSource = nullptr);
    // Puts the clipboard's data in the clipboard itself, if it is ours, so
    // that it outlives this program. A source with lasting data gives way to
    // it first: only what can live without this program is left behind.
    static void FlushClipboard();
    // Takes `lasting` (its reference) as what this source leaves on the
    // clipboard when the program ends.
    void SetLastingData(COleDataSource* lasting);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDataObject
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override;
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override;
    STDMETHODIMP DUnadvise(DWORD) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override;

private:
    struct Entry {
        FORMATETC format;
        HGLOBAL data;
    };

    virtual ~COleDataSource();
    const Entry* Find(const FORMATETC* format) const;

    std::vector<Entry> m_entries;
    COleDataSource* m_pLasting = nullptr;
    LONG m_nRef = 1;
};
