#pragma once
#include <windows.h>
#include <string>
#include "TransferFailure.h"
#include "../framework/Handle.h"

// The file a download writes. Bytes go into a partial file beside the
// target, which takes the target's place only when the transfer is whole,
// so an earlier file of that name survives a failed attempt. A partial
// file that holds bytes and has a record of where they came from (the URL,
// the server's validator and how many of its bytes are that version's,
// flushed to the disk) is kept when the transfer fails, so that a later
// download of the same URL asks only for the rest. A long transfer writes
// its record as it goes (about once a second), so that even a crash or a
// killed process leaves bytes a later download can trust; a transfer that
// is over within that time writes none. The record is replaced as a
// whole: what lies on the disk is always an old record or a new one.
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
    // Writes body bytes at the end of the file (and, when a second has
    // passed since the last record, the record of the bytes so far).
    bool Write(const char* data, size_t n);
    // Puts the whole file in the target's place.
    bool Commit();
    // Closes the file; deletes it unless a later download can go on from
    // it. True when the partial file is kept, with its record.
    bool Close();

    // Resolves an item's file name as a transfer does; gives the full path
    // and where its file-name part begins.
    static TransferFailure::Kind Resolve(const std::string& path, const std::string& folder,
                                         bool absoluteAllowed, std::string& full, size_t& namePos);
    // Whether a name from a URL may be written below the download folder.
    static bool IsSafeRelativeName(const std::string& name);
    static bool IsAbsolutePath(const std::string& path);
    static std::string PartialPath(const std::string& target);
    static std::string RecordPath(const std::string& target);
    // Where a new record is written before it takes the old one's place.
    static std::string RecordTempPath(const std::string& target);
    // How long a transfer goes between two records (1 s unless changed).
    static void SetRecordInterval(DWORD ms) { s_nRecordMs = ms; }

    // A record's text: its first line, the URL, the validator and the
    // length of the bytes that are that version's.
    static std::string RecordText(const std::string& url, const std::string& validator, long long length);
    // Reads a record written for `url`: false when it is none, is for
    // another URL, or is broken. A record of the first format (no length)
    // gives -1: it was written when its file was closed, whole.
    static bool ParseRecord(const std::string& text, const std::string& url, std::string& validator,
                            long long& length);

private:
    // Flushes the bytes so far and records them; false when it cannot
    // (the record on the disk then stays as it was).
    bool Checkpoint();
    // Writes the record of the first m_nLength bytes through a new file
    // that replaces the old record.
    bool WriteRecord();

    CHandle m_file;
    std::string m_strTarget;
    std::string m_strPartial;
    std::string m_strRecord;
    std::string m_strUrl;
    std::string m_strValidator;
    long long m_nResume = 0;
    long long m_nLength = 0;        // bytes of the file, from 0, that are this version's
    long long m_nRecorded = -1;     // the length the record on the disk names; -1: none of this version
    DWORD m_dwLastRecord = 0;       // when the bytes were last recorded (or began)
    bool m_bKeep = false;           // a validator is known: keep the bytes on failure
    bool m_bRecordOnDisk = false;   // a record file lies beside the partial file
    bool m_bEmpty = false;          // made by this transfer, nothing written yet
    bool m_bKept = false;           // closed, and kept for a later download

    static DWORD s_nRecordMs;
};
