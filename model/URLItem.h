#pragma once
#include <string>

// Item states. An item is pending (still to be downloaded) when none of
// the ITEM_STATE_BITS is set.
enum : unsigned char {
    ITEM_UNREAD = 0x00,
    ITEM_DONE = 0x02,
    ITEM_DOWNLOADING = 0x04,
    ITEM_CANCELLED = 0x08,
    ITEM_ERROR = 0x10,
    ITEM_STATE_BITS = 0x1E,
};

// One entry of the download list: a URL, the file it is saved to, the size
// the server gave and the state of its download.
class URLItem {
public:
    explicit URLItem(const char* url);
    URLItem(const URLItem&) = delete;
    URLItem& operator=(const URLItem&) = delete;

    // Changes the state and tells the live document, unless it is the same.
    // The failure text goes with the error state.
    void SetState(unsigned char state);
    // Ends the item in error for the reason `text`.
    void SetFailed(unsigned char state, const std::string& text);
    // The label of the state column ("ﾀﾞｳﾝﾛｰﾄﾞ中", "完了", ...).
    const std::string& GetStateLabel() const;
    bool IsPending() const { return (m_state & ITEM_STATE_BITS) == 0; }
    bool IsDownloading() const { return (m_state & ITEM_DOWNLOADING) != 0; }

    // The file name the URL is saved to, relative to the download folder:
    // the last two segments of the URL's path joined by a backslash, with
    // characters that file names cannot hold turned into "_".
    static std::string FileNameFromURL(const char* url);

    const std::string m_strURL;
    std::string m_strFileName;
    int m_nSize = 0;
    unsigned char m_state = ITEM_UNREAD;
    // The user chose m_strFileName (an absolute path) in the properties
    // dialog; a name derived from the URL must stay in the download folder.
    bool m_bPathChosen = false;
    // A transfer of the item was started in this run, so a partial file of
    // it may lie beside its target.
    bool m_bTransferStarted = false;
    // Why the last download failed, or that it was cancelled, in the
    // user's words; empty unless the item is in error or cancelled.
    std::string m_strFailure;

    // Kept by the document that lists the item: its position in the list
    // (-1 while unlisted), whether it is counted as pending, and whether
    // the running batch leaves it alone (a retry takes only the items that
    // had failed or were cancelled when it began).
    bool m_bCountedPending = false;
    bool m_bOutsideBatch = false;
    int m_nIndex = -1;
};
