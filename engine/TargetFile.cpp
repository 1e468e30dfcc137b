#include "TargetFile.h"
#include "../model/Mbcs.h"

namespace {

const char kPartialSuffix[] = ".kstpart";
const char kRecordSuffix[] = ".kstinfo";
const char kRecordMagic[] = "Kestrin partial 1";

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool HasControlCharacter(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

} // namespace

bool CTargetFile::IsAbsolutePath(const std::string& path)
{
    return (path.size() >= 2 && path[1] == ':') ||
           (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
}

std::string CTargetFile::PartialPath(const std::string& target)
{
    return target + kPartialSuffix;
}

std::string CTargetFile::RecordPath(const std::string& target)
{
    return target + kRecordSuffix;
}

bool CTargetFile::IsSafeRelativeName(const std::string& name)
{
    if (name.empty() || IsSeparator(name[0]))
        return false;
    static const char* const kDevices[] = {
        "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
        "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
        "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",
    };
    const char* const end = name.data() + name.size();
    const char* segment = name.data();
    for (const char* p = segment;; p += MbcsCharLength(p, end)) {
        const bool last = p >= end;
        if (!last && *p == ':')
            return false;   // a drive or an alternate data stream
        if (last || IsSeparator(*p)) {
            const std::string part(segment, last ? end : p);
            // ".." and the like (Windows drops trailing dots and blanks).
            if (part.size() > 1 && part.find_first_not_of(". ") == std::string::npos)
                return false;
            const std::string base = part.substr(0, part.find('.'));
            for (const char* device : kDevices)
                if (::lstrcmpiA(base.c_str(), device) == 0)
                    return false;
            if (last)
                break;
            segment = p + 1;
        }
    }
    return true;
}

TransferFailure::Kind CTargetFile::Resolve(const std::string& path, const std::string& folder,
                                           bool absoluteAllowed, std::string& full, size_t& namePos)
{
    const bool absolute = absoluteAllowed && IsAbsolutePath(path);
    if (!absoluteAllowed && !IsSafeRelativeName(path))
        return TransferFailure::UNSAFE_NAME;
    char base[MAX_PATH];
    std::string root;
    if (!absolute) {
        if (folder.empty())
            return TransferFailure::WRITE_FAILED;
        const DWORD b = ::GetFullPathNameA(folder.c_str(), MAX_PATH, base, nullptr);
        if (b == 0 || b >= MAX_PATH)
            return TransferFailure::WRITE_FAILED;
        root = base;
        if (!IsSeparator(root.back()))
            root.push_back('\\');
    }
    const std::string combined = absolute ? path : root + path;
    char buf[MAX_PATH];
    char* filePart = nullptr;
    const DWORD n = ::GetFullPathNameA(combined.c_str(), MAX_PATH, buf, &filePart);
    // Room for the partial file's longer name too.
    if (n == 0 || n + sizeof kPartialSuffix >= MAX_PATH || !filePart || !*filePart)
        return TransferFailure::UNSAFE_NAME;
    if (!absoluteAllowed) {
        // A name from a URL lands below the download folder, nowhere else.
        if (n <= root.size() || ::CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, buf,
                static_cast<int>(root.size()), root.c_str(), static_cast<int>(root.size())) != CSTR_EQUAL)
            return TransferFailure::UNSAFE_NAME;
    }
    full = buf;
    namePos = static_cast<size_t>(filePart - buf);
    return TransferFailure::NONE;
}

TransferFailure::Kind CTargetFile::Open(const std::string& path, const std::string& folder,
                                        bool absoluteAllowed, const std::string& url)
{
    std::string full;
    size_t namePos = 0;
    if (const TransferFailure::Kind kind = Resolve(path, folder, absoluteAllowed, full, namePos))
        return kind;
    // The target itself is not looked at here: a folder in its place
    // fails the move in Commit. (Looking up a name that is not there can
    // cost a pass over the whole folder, and a batch fills the folder.)
    const std::string partial = PartialPath(full);
    auto create = [&] {
        return ::CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    };
    m_file.Reset(create());
    if (!m_file.IsValid() && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
        // Only the last folder level is made; a missing one further up fails.
        ::CreateDirectoryA(full.substr(0, namePos).c_str(), nullptr);
        m_file.Reset(create());
    }
    if (!m_file.IsValid())
        return TransferFailure::WRITE_FAILED;
    const bool earlier = ::GetLastError() == ERROR_ALREADY_EXISTS;
    m_bEmpty = !earlier;
    m_strTarget = full;
    m_strPartial = partial;
    m_strRecord = RecordPath(full);
    m_strUrl = url;

    LARGE_INTEGER size;
    if (!earlier || !::GetFileSizeEx(m_file.Get(), &size))
        size.QuadPart = 0;
    // The record: a first line of its own, the URL, the validator. It is
    // only ever written beside a partial file, so a new one has none.
    std::string record;
    CHandle h;
    if (earlier)
        h.Reset(::CreateFileA(m_strRecord.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    if (h.IsValid()) {
        char buf[4096];
        DWORD n = 0;
        if (::ReadFile(h.Get(), buf, sizeof buf, &n, nullptr))
            record.assign(buf, n);
    }
    const std::string expected = std::string(kRecordMagic) + "\n" + url + "\n";
    if (size.QuadPart > 0 && record.size() > expected.size() + 1 &&
        record.compare(0, expected.size(), expected) == 0 && record.back() == '\n') {
        m_strValidator = record.substr(expected.size(), record.size() - expected.size() - 1);
        m_nResume = size.QuadPart;
        m_bKeep = true;
    }
    m_bRecordOnDisk = h.IsValid();
    return TransferFailure::NONE;
}

bool CTargetFile::Append()
{
    LARGE_INTEGER at;
    at.QuadPart = m_nResume;
    return ::SetFilePointerEx(m_file.Get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_file.Get());
}

bool CTargetFile::Restart()
{
    DropRecord();
    m_nResume = 0;
    if (m_bEmpty)
        return true;   // made by this transfer and not yet written
    LARGE_INTEGER at;
    at.QuadPart = 0;
    m_bEmpty = ::SetFilePointerEx(m_file.Get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_file.Get());
    return m_bEmpty;
}

void CTargetFile::Record(const std::string& validator)
{
    if (validator.empty() || HasControlCharacter(validator) || HasControlCharacter(m_strUrl)) {
        DropRecord();
        return;
    }
    // Written only if the bytes are kept: a download that completes, the
    // usual case, costs no record file.
    if (!m_bKeep || validator != m_strValidator)
        m_bRecordStale = true;
    m_strValidator = validator;
    m_bKeep = true;
}

bool CTargetFile::Write(const char* data, size_t n)
{
    m_bEmpty = false;
    DWORD written = 0;
    return ::WriteFile(m_file.Get(), data, static_cast<DWORD>(n), &written, nullptr) && written == n;
}

bool CTargetFile::WriteRecord()
{
    const std::string text = std::string(kRecordMagic) + "\n" + m_strUrl + "\n" + m_strValidator + "\n";
    CHandle h(::CreateFileA(m_strRecord.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.IsValid())
        return false;
    m_bRecordOnDisk = true;
    DWORD written = 0;
    return ::WriteFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size() && h.Close();
}

void CTargetFile::DropRecord()
{
    if (m_bRecordOnDisk)
        ::DeleteFileA(m_strRecord.c_str());
    m_bRecordOnDisk = false;
    m_bRecordStale = false;
    m_bKeep = false;
}

bool CTargetFile::Commit()
{
    if (!m_file.Close() || !::MoveFileExA(m_strPartial.c_str(), m_strTarget.c_str(),
                                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        return false;
    m_strPartial.clear();
    DropRecord();
    return true;
}

void CTargetFile::Close()
{
    LARGE_INTEGER size;
    size.QuadPart = 0;
    if (m_file.IsValid() && !::GetFileSizeEx(m_file.Get(), &size))
        size.QuadPart = 0;
    m_file.Close();
    if (!m_strPartial.empty()) {
        const bool keep = m_bKeep && size.QuadPart > 0 &&
                          ((m_bRecordOnDisk && !m_bRecordStale) || WriteRecord());
        if (!keep) {
            ::DeleteFileA(m_strPartial.c_str());
            DropRecord();
        }
        m_strPartial.clear();
    }
}
