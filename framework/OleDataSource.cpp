#include "OleDataSource.h"
#include <shlobj.h>
#include <cstring>
#include "GlobalMem.h"

namespace {

// The last data source handed to the clipboard.
COleDataSource* g_clipboardSource = nullptr;


// The drop source of a drag that has none of its own: the left button
// drops, Esc cancels, the system draws the cursors.
class DefaultDropSource : public IDropSource {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDropSource) {
            *object = static_cast<IDropSource*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override
    {
        if (escape)
            return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

// Waits, with the mouse captured, until the pointer leaves `rc` with the
// left button held (true) or the button goes up or Esc is pressed (false).
bool WaitForDragStart(const RECT& rc)
{
    HWND capture = ::GetFocus();
    if (!capture || !(::GetKeyState(VK_LBUTTON) & 0x8000))
        return false;
    ::SetCapture(capture);
    bool start = false;
    for (bool done = false; !done && ::GetCapture() == capture;) {
        MSG msg;
        if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::WaitMessage();
            continue;
        }
        switch (msg.message) {
        case WM_MOUSEMOVE: {
            POINT pt;
            ::GetCursorPos(&pt);
            if (!::PtInRect(&rc, pt)) {
                start = (msg.wParam & MK_LBUTTON) != 0;
                done = true;
            }
            break;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_CANCELMODE:
            done = true;
            break;
        case WM_KEYDOWN:
            if (msg.wParam == VK_ESCAPE)
                done = true;
            break;
        case WM_QUIT:
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            done = true;
            break;
        default:
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
            break;
        }
    }
    if (::GetCapture() == capture)
        ::ReleaseCapture();
    return start;
}

} // namespace

COleDataSource::~COleDataSource()
{
    for (Entry& e : m_entries)
        ::GlobalFree(e.data);
    if (m_pLasting)
        m_pLasting->Release();
}

void COleDataSource::SetLastingData(COleDataSource* lasting)
{
    if (m_pLasting)
        m_pLasting->Release();
    m_pLasting = lasting;
}

void COleDataSource::CacheGlobalData(CLIPFORMAT cf, HGLOBAL data, const FORMATETC* format)
{
    Entry entry{};
    if (format) {
        entry.format = *format;
    } else {
        entry.format.dwAspect = DVASPECT_CONTENT;
        entry.format.lindex = -1;
        entry.format.tymed = TYMED_HGLOBAL;
    }
    entry.format.cfFormat = cf;
    entry.format.ptd = nullptr;
    entry.data = data;
    m_entries.push_back(entry);
}

bool COleDataSource::SetClipboard()
{
    const bool ok = SUCCEEDED(::OleSetClipboard(this));
    if (ok)
        g_clipboardSource = this;
    Release();
    return ok;
}

void COleDataSource::FlushClipboard()
{
    if (g_clipboardSource && ::OleIsCurrentClipboard(g_clipboardSource) == S_OK) {
        if (COleDataSource* lasting = g_clipboardSource->m_pLasting) {
            // Data that needs this program to be fetched (a file group's
            // contents, one per index) does not survive it: hand the
            // clipboard what does.
            lasting->AddRef();
            ::OleSetClipboard(lasting);
            lasting->Release();
        }
        ::OleFlushClipboard();
    }
    g_clipboardSource = nullptr;
}

DWORD COleDataSource::DoDragDrop(DWORD allowedEffects, const RECT* startRect, IDropSource* dropSource)
{
    RECT rc;
    if (startRect) {
        rc = *startRect;
    } else {
        POINT pt;
        ::GetCursorPos(&pt);
        const int cx = ::GetSystemMetrics(SM_CXDRAG), cy = ::GetSystemMetrics(SM_CYDRAG);
        rc = {pt.x - cx, pt.y - cy, pt.x + cx + 1, pt.y + cy + 1};
    }
    if (!WaitForDragStart(rc))
        return DROPEFFECT_NONE;
    DefaultDropSource fallback;
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT hr = ::DoDragDrop(this, dropSource ? dropSource : &fallback, allowedEffects, &effect);
    return hr == DRAGDROP_S_DROP ? effect : DROPEFFECT_NONE;
}

const COleDataSource::Entry* COleDataSource::Find(const FORMATETC* format) const
{
    if (!format)
        return nullptr;
    for (const Entry& e : m_entries) {
        if (e.format.cfFormat == format->cfFormat && e.format.lindex == format->lindex &&
            (e.format.dwAspect & format->dwAspect) && (e.format.tymed & format->tymed))
            return &e;
    }
    return nullptr;
}

STDMETHODIMP COleDataSource::QueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IUnknown || iid == IID_IDataObject) {
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleDataSource::AddRef()
{
    return static_cast<ULONG>(::InterlockedIncrement(&m_nRef));
}

STDMETHODIMP_(ULONG) COleDataSource::Release()
{
    const LONG n = ::InterlockedDecrement(&m_nRef);
    if (n == 0) {
        if (g_clipboardSource == this)
            g_clipboardSource = nullptr;
        delete this;
    }
    return static_cast<ULONG>(n);
}

STDMETHODIMP COleDataSource::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    const Entry* e = Find(format);
    if (!e)
        return DV_E_FORMATETC;
    std::memset(medium, 0, sizeof *medium);
    const DWORD offered = e->format.tymed & format->tymed;
    // Every consumer gets a copy of its own.
    HGLOBAL copy = GlobalCopy(e->data, GMEM_MOVEABLE | GMEM_DDESHARE);
    if (!copy)
        return E_OUTOFMEMORY;
    if (offered & TYMED_HGLOBAL) {
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        return S_OK;
    }
    if (offered & TYMED_ISTREAM) {
        IStream* stream = nullptr;
        if (FAILED(::CreateStreamOnHGlobal(copy, TRUE, &stream))) {
            ::GlobalFree(copy);
            return E_OUTOFMEMORY;
        }
        ULARGE_INTEGER size;
        size.QuadPart = ::GlobalSize(copy);
        stream->SetSize(size);
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = stream;
        return S_OK;
    }
    if (offered & TYMED_FILE) {
        // A temporary file, deleted when the consumer releases the medium.
        wchar_t folder[MAX_PATH], path[MAX_PATH] = L"";
        ::GetTempPathW(MAX_PATH, folder);
        const bool made = ::GetTempFileNameW(folder, L"kst", 0, path) != 0;
        bool ok = made;
        if (ok) {
            HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            const void* bytes = ::GlobalLock(copy);
            ok = file != INVALID_HANDLE_VALUE &&
                 ::WriteFile(file, bytes, static_cast<DWORD>(::GlobalSize(copy)), &written, nullptr);
            ::GlobalUnlock(copy);
            if (file != INVALID_HANDLE_VALUE)
                ::CloseHandle(file);
        }
        ::GlobalFree(copy);
        const size_t bytes = (::lstrlenW(path) + 1) * sizeof(wchar_t);
        auto* name = ok ? static_cast<LPOLESTR>(::CoTaskMemAlloc(bytes)) : nullptr;
        if (!name) {
            // GetTempFileName made the file: it goes on every failure.
            if (made)
                ::DeleteFileW(path);
            return ok ? E_OUTOFMEMORY : E_FAIL;
        }
        std::memcpy(name, path, bytes);
        medium->lpszFileName = name;
        medium->tymed = TYMED_FILE;
        return S_OK;
    }
    ::GlobalFree(copy);
    return DV_E_TYMED;
}

STDMETHODIMP COleDataSource::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return E_NOTIMPL;
}

STDMETHODIMP COleDataSource::QueryGetData(FORMATETC* format)
{
    return Find(format) ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP COleDataSource::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    if (out)
        out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP COleDataSource::SetData(FORMATETC*, STGMEDIUM*, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP COleDataSource::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator)
{
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    std::vector<FORMATETC> formats;
    for (const Entry& e : m_entries)
        formats.push_back(e.format);
    return ::SHCreateStdEnumFmtEtc(static_cast<UINT>(formats.size()), formats.data(), enumerator);
}

STDMETHODIMP COleDataSource::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP COleDataSource::DUnadvise(DWORD)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP COleDataSource::EnumDAdvise(IEnumSTATDATA**)
{
    return OLE_E_ADVISENOTSUPPORTED;
}
