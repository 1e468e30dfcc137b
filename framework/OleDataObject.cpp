#include "OleDataObject.h"
#include <shlwapi.h>
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
    HGLOBAL copy = medium.tymed == TYMED_HGLOBAL ? GlobalCopy(medium.hGlobal) : nullptr;
    ::ReleaseStgMedium(&medium);
    return copy;
}

std::unique_ptr<CDataFile> COleDataObject::GetFileData(CLIPFORMAT cf, const FORMATETC* format) const
{
    if (!m_lpDataObject)
        return nullptr;
    FORMATETC f = FormatFor(cf, format, TYMED_HGLOBAL | TYMED_ISTREAM | TYMED_FILE);
    STGMEDIUM medium{};
    if (FAILED(m_lpDataObject->GetData(&f, &medium)))
        return nullptr;
    IStream* stream = nullptr;
    switch (medium.tymed) {
    case TYMED_HGLOBAL:
        if (HGLOBAL copy = GlobalCopy(medium.hGlobal)) {
            if (FAILED(::CreateStreamOnHGlobal(copy, TRUE, &stream)))
                ::GlobalFree(copy);
        }
        break;
    case TYMED_ISTREAM:
        stream = medium.pstm;
        stream->AddRef();
        break;
    case TYMED_FILE:
        if (FAILED(::SHCreateStreamOnFileW(medium.lpszFileName, STGM_READ | STGM_SHARE_DENY_NONE, &stream)))
            stream = nullptr;
        break;
    }
    ::ReleaseStgMedium(&medium);
    if (!stream)
        return nullptr;
    return std::make_unique<CDataFile>(stream);
}
