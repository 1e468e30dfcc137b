#pragma once
#include <windows.h>
#include <ole2.h>
#include <memory>

// Bytes of one format as a file: its length and a read of it, whatever
// medium the source gave (global memory, stream or file).
class CDataFile {
public:
    explicit CDataFile(IStream* stream) : m_pStream(stream) {}
    ~CDataFile() { m_pStream->Release(); }
    CDataFile(const CDataFile&) = delete;
    CDataFile& operator=(const CDataFile&) = delete;

    ULONGLONG GetLength() const;
    // Reads up to `size` bytes; returns how many were read, never more
    // than `size` whatever the stream claims.
    DWORD Read(void* buffer, DWORD size);

private:
    IStream* m_pStream;
};

// The receiving side of a drop or of the clipboard: the data another
// program (or this one) offers.
class COleDataObject {
public:
    COleDataObject() = default;
    ~COleDataObject() { Release(); }
    COleDataObject(const COleDataObject&) = delete;
    COleDataObject& operator=(const COleDataObject&) = delete;

    // Takes the object; AddRefs it, released with Release.
    void Attach(IDataObject* data);
    // Takes what the clipboard holds; false when it cannot be opened.
    bool AttachClipboard();
    void Release();

    // The format, as content, in global memory, a stream or a file (or as
    // `format` describes).
    bool IsDataAvailable(CLIPFORMAT cf, const FORMATETC* format = nullptr) const;
    // A copy in global memory that the caller frees; null when not offered.
    HGLOBAL GetGlobalData(CLIPFORMAT cf, const FORMATETC* format = nullptr) const;
    // The data as a file; null when not offered or not readable. Data
    // handed over as a file is read into memory (at most kMaxFileCopy bytes).
    std::unique_ptr<CDataFile> GetFileData(CLIPFORMAT cf, const FORMATETC* format = nullptr) const;

    static constexpr ULONGLONG kMaxFileCopy = 16u * 1024 * 1024;

    IDataObject* m_lpDataObject = nullptr;
};
