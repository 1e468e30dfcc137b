#include "TargetFile.h"
#include "../model/Mbcs.h"

namespace {

const char kPartialSuffix[] = ".kstpart";
const char kRecordSuffix[] = ".kstinfo";
const char kRecordTempSuffix[] = ".kstnew";
// The first line of a record: the first format had no length line.
const char kRecordMagic1[] = "Kestrin partial 1";
const char kRecordMagic[] = "Kestrin partial 2";

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

std::string CTargetFile::RecordTempPath(const std::string& target)
{
    return target + kRecordTempSuffix;
}

DWORD CTargetFile::s_nRecordMs = 1000;

std::string CTargetFile::RecordText(const std::string& url, const std::string& validator, long long length)
{
    return std::string(kRecordMagic) + "\n" + url + "\n" + validator + "\n" + std::to_string(length) + "\n";
}

bool CTargetFile::ParseRecord(const std::string& text, const std::string& url, std::string& validator,
                              long long& length)
{
    // Every line ends in a line feed: a record cut short is no record.
    std::string lines[4];
    int count = 0;
    size_t at = 0;
    while (at < text.size() && count < 4) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return false;
        lines[count++] = text.substr(at, end - at);
        at = end + 1;
    }
    if (at != text.size() || count < 3 || lines[1] != url || lines[2].empty())
        return false;
    if (lines[0] == kRecordMagic1 && count == 3) {
        validator = lines[2];
        length = -1;
        return true;
    }
    if (lines[0] != kRecordMagic || count != 4 || lines[3].empty() || lines[3].size() > 18 ||
        lines[3].find_first_not_of("0123456789") != std::string::npos)
        return false;
    validator = lines[2];
    length = std::stoll(lines[3]);
    return true;
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
    // The record is only ever written beside a partial file, so a new one
    // has none (and a name that is not there costs no look-up).
    std::string record;
    CHandle h;
    if (earlier) {
        h.Reset(::CreateFileA(m_strRecord.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr));
        // A new record that a crash kept from taking the old one's place.
        ::DeleteFileA(RecordTempPath(full).c_str());
    }
    if (h.IsValid()) {
        char buf[4096];
        DWORD n = 0;
        if (::ReadFile(h.Get(), buf, sizeof buf, &n, nullptr))
            record.assign(buf, n);
    }
    m_bRecordOnDisk = h.IsValid();
    std::string validator;
    long long length = 0;
    if (size.QuadPart > 0 && ParseRecord(record, url, validator, length)) {
        // The bytes up to the recorded length are that version's; bytes
        // after them (written after the record) are cut off by Append. A
        // file shorter than its record is not what the record describes:
        // it starts over.
        const bool first = length < 0;
        if (first)
            length = size.QuadPart;
        if (length > 0 && length <= size.QuadPart) {
            m_strValidator = validator;
            m_nResume = length;
            m_nLength = length;
            m_nRecorded = first ? -1 : length;
            m_bKeep = true;
        }
    }
    return TransferFailure::NONE;
}

bool CTargetFile::Append()
{
    LARGE_INTEGER at;
    at.QuadPart = m_nResume;
    m_nLength = m_nResume;
    m_dwLastRecord = ::GetTickCount();
    return ::SetFilePointerEx(m_file.Get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_file.Get());
}

bool CTargetFile::Restart()
{
    // The record goes before the bytes it names.
    DropRecord();
    m_nResume = 0;
    m_nLength = 0;
    m_dwLastRecord = ::GetTickCount();
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
    // Written only once the transfer has lasted a while, or when the bytes
    // are kept: a download that completes at once, the usual case, costs
    // no record file.
    if (!m_bKeep || validator != m_strValidator)
        m_nRecorded = -1;
    m_strValidator = validator;
    m_bKeep = true;
    m_dwLastRecord = ::GetTickCount();
}

bool CTargetFile::Write(const char* data, size_t n)
{
    m_bEmpty = false;
    DWORD written = 0;
    if (!::WriteFile(m_file.Get(), data, static_cast<DWORD>(n), &written, nullptr) || written != n)
        return false;
    m_nLength += static_cast<long long>(n);
    if (m_bKeep && ::GetTickCount() - m_dwLastRecord >= s_nRecordMs) {
        m_dwLastRecord = ::GetTickCount();
        Checkpoint();
    }
    return true;
}

bool CTargetFile::Checkpoint()
{
    if (m_nLength <= 0 || m_nLength == m_nRecorded)
        return m_nLength > 0;
    // The bytes reach the disk before the record that names them, so that
    // even a machine that loses its power keeps no record of bytes it lost.
    return ::FlushFileBuffers(m_file.Get()) && WriteRecord();
}

bool CTargetFile::WriteRecord()
{
    const std::string text = RecordText(m_strUrl, m_strValidator, m_nLength);
    const std::string temp = RecordTempPath(m_strTarget);
    {
        CHandle h(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!h.IsValid() ||
            !::WriteFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !h.Close()) {
            ::DeleteFileA(temp.c_str());
            return false;
        }
    }
    // One rename: the old record or the new one, never half of either.
    if (!::MoveFileExA(temp.c_str(), m_strRecord.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ::DeleteFileA(temp.c_str());
        return false;
    }
    m_bRecordOnDisk = true;
    m_nRecorded = m_nLength;
    return true;
}

void CTargetFile::DropRecord()
{
    if (m_bRecordOnDisk)
        ::DeleteFileA(m_strRecord.c_str());
    m_bRecordOnDisk = false;
    m_nRecorded = -1;
    m_bKeep = false;
}

bool CTargetFile::Commit()
{
    if (!m_file.Close())
        return false;
    // The record goes first: a crash between the two leaves a partial file
    // without a record (which starts over), never a record that a later
    // partial file of the same name could be taken for.
    DropRecord();
    if (!::MoveFileExA(m_strPartial.c_str(), m_strTarget.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        return false;
    m_strPartial.clear();
    return true;
}

bool CTargetFile::Close()
{
    if (m_strPartial.empty()) {
        m_file.Close();
        return m_bKept;
    }
    const bool keep = m_bKeep && m_nLength > 0 && m_file.IsValid() &&
                      (m_nLength == m_nRecorded || Checkpoint());
    m_file.Close();
    if (!keep) {
        // The record before the bytes, as in Commit.
        DropRecord();
        ::DeleteFileA(m_strPartial.c_str());
    }
    m_strPartial.clear();
    m_bKept = keep;
    return keep;
}
