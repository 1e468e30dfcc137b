#include "OleDataObject.h"
#include <cstring>
#include "GlobalMem.h"

ULONGLONG CDataFile::GetLength() const
{
    STATSTG stat{};
    if (FAILED(m_pStream->Stat(&stat, STATFLAG_NONAME)))
        return 0;
    return stat.cbSize.QuadPart;
}

DWORD CDataFile::Read(void* buffer, DWORD size)
{
    DWORD total = 0;
    while (total < size) {
        ULONG n = 0;
        const HRESULT hr = m_pStream->Read(static_cast<char*>(buffer) + total, size - total, &n);
        if (FAILED(hr) || n == 0)
            break;
        // A stream that claims more than it was asked for is not believed.
        if (n > size - total) {
            total = size;
            break;
        }
        total += n;
    }
    return total;
}

namespace {

FORMATETC FormatFor(CLIPFORMAT cf, const FORMATETC* format, DWORD tymed)
{
    if (format)
        return *format;
    FORMATETC f{};
    f.cfFormat = cf;
    f.dwAspect = DVASPECT_CONTENT;
    f.lindex = -1;
    f.tymed = tymed;
    return f;
}


} // namespace

void COleDataObject::Attach(IDataObject* data)
{
    Release();
    m_lpDataObject = data;
    if (data)
        data->AddRef();
}

bool COleDataObject::AttachClipboard()
{
    Release();
    return SUCCEEDED(::OleGetClipboard(&m_lpDataObject)) && m_lpDataObject;
}

void COleDataObject::Release()
{
    if (m_lpDataObject) {
        m_lpDataObject->Release();
        m_lpDataObject = nullptr;
    }
}

bool COleDataObject::IsDataAvailable(CLIPFORMAT cf, const FORMATETC* format) const
{
    if (!m_lpDataObject)
        return false;
    FORMATETC f = FormatFor(cf, format, TYMED_HGLOBAL | TYMED_ISTREAM | TYMED_FILE);
    return m_lpDataObject->QueryGetData(&f) == S_OK;
}

HGLOBAL COleDataObject::GetGlobalData(CLIPFORMAT cf, const FORMATETC* format) const
{
    if (!m_lpDataObject)
        return nullptr;
    FORMATETC f = FormatFor(cf, format, TYMED_HGLOBAL);
    f.tymed = TYMED_HGLOBAL;
    STGMEDIUM medium{};
    if (FAILED(m_lpDataObject->GetData(&f, &medium)))
        return nullptr;
    // A success that hands over no block counts as not offered.
    HGLOBAL copy = medium.tymed == TYMED_HGLOBAL && medium.hGlobal ? GlobalCopy(medium.hGlobal) : nullptr;
    ::ReleaseStgMedium(&medium);
    return copy;
}

namespace {

// A stream over a copy of the file's bytes, so that the file itself can go
// as soon as the medium is released. Null for a file larger than `limit`.
IStream* StreamOnFileCopy(const wchar_t* path, ULONGLONG limit)
{
    HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    IStream* stream = nullptr;
    LARGE_INTEGER size{};
    if (::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
        static_cast<ULONGLONG>(size.QuadPart) <= limit) {
        const DWORD bytes = static_cast<DWORD>(size.QuadPart);
        HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, bytes ? bytes : 1);
        void* p = copy ? ::GlobalLock(copy) : nullptr;
        DWORD got = 0;
        const bool read = p && (bytes == 0 || ::ReadFile(file, p, bytes, &got, nullptr));
        if (p)
            ::GlobalUnlock(copy);
        if (read && SUCCEEDED(::CreateStreamOnHGlobal(copy, TRUE, &stream))) {
            ULARGE_INTEGER length;
            length.QuadPart = got;
            stream->SetSize(length);
        } else if (copy) {
            ::GlobalFree(copy);
        }
    }
    ::CloseHandle(file);
    return stream;
}

} // namespace

std::unique_ptr<CDataFile> COleDataObject::GetFileData(CLIPFORMAT cf, const FORMATETC* format) const
{
    if (!m_lpDataObject)
        return nullptr;
    FORMATETC f = FormatFor(cf, format, TYMED_HGLOBAL | TYMED_ISTREAM | TYMED_FILE);
    STGMEDIUM medium{};
    if (FAILED(m_lpDataObject->GetData(&f, &medium)))
        return nullptr;
    // A success that hands over no block, stream or file counts as not
    // offered.
    IStream* stream = nullptr;
    switch (medium.tymed) {
    case TYMED_HGLOBAL:
        if (!medium.hGlobal)
            break;
        if (HGLOBAL copy = GlobalCopy(medium.hGlobal)) {
            if (FAILED(::CreateStreamOnHGlobal(copy, TRUE, &stream)))
                ::GlobalFree(copy);
        }
        break;
    case TYMED_ISTREAM:
        stream = medium.pstm;
        if (stream)
            stream->AddRef();
        break;
    case TYMED_FILE:
        // Releasing the medium deletes the file, so nothing may hold it open.
        if (medium.lpszFileName)
            stream = StreamOnFileCopy(medium.lpszFileName, kMaxFileCopy);
        break;
    }
    ::ReleaseStgMedium(&medium);
    if (!stream)
        return nullptr;
    return std::make_unique<CDataFile>(stream);
}
