#pragma once
#include <windows.h>
#include <string>
#include "TransferFailure.h"
#include "../framework/Handle.h"

// The file a download writes. Bytes go into a partial file beside the
// target, which takes the target's place only when the transfer is whole,
// so an earlier file of that name survives a failed attempt. A partial
// file that holds bytes and has a record of where they came from (the URL
// and the server's validator) is kept when the transfer fails, so that a
// later download of the same URL asks only for the rest.
class CTargetFile {
public:
    CTargetFile() = default;
    ~CTargetFile() { Close(); }
    CTargetFile(const CTargetFile&) = delete;
    CTargetFile& operator=(const CTargetFile&) = delete;

    // Opens (or makes) the partial file of `path`: relative to `folder`
    // and confined to it, or absolute when `absoluteAllowed`.
    TransferFailure::Kind Open(const std::string& path, const std::string& folder,
                               bool absoluteAllowed, const std::string& url);
    // Bytes an earlier attempt left, with the validator they came with.
    long long ResumeFrom() const { return m_nResume; }
    const std::string& Validator() const { return m_strValidator; }
    // Goes on after the earlier bytes, or empties the file.
    bool Append();
    bool Restart();
    // Records the validator of the bytes now coming; without one the file
    // is not kept on failure.
    void Record(const std::string& validator);
    void DropRecord();
    // Writes body bytes at the end of the file.
    bool Write(const char* data, size_t n);
    // Puts the whole file in the target's place.
    bool Commit();
    // Closes the file; deletes it unless a later download can go on from it.
    void Close();

    // Resolves an item's file name as a transfer does; gives the full path
    // and where its file-name part begins.
    static TransferFailure::Kind Resolve(const std::string& path, const std::string& folder,
                                         bool absoluteAllowed, std::string& full, size_t& namePos);
    // Whether a name from a URL may be written below the download folder.
    static bool IsSafeRelativeName(const std::string& name);
    static bool IsAbsolutePath(const std::string& path);
    static std::string PartialPath(const std::string& target);
    static std::string RecordPath(const std::string& target);

private:
    // Writes the record of the bytes kept; false when it cannot.
    bool WriteRecord();

    CHandle m_file;
    std::string m_strTarget;
    std::string m_strPartial;
    std::string m_strRecord;
    std::string m_strUrl;
    std::string m_strValidator;
    long long m_nResume = 0;
    bool m_bKeep = false;           // a validator is known: keep the bytes on failure
    bool m_bRecordOnDisk = false;   // the record file lies beside the partial file
    bool m_bRecordStale = false;    // ... but names another validator
    bool m_bEmpty = false;          // made by this transfer, nothing written yet
};
