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
    // Failed for a reason that may pass: fetched again when its pause is over.
    ITEM_RETRY_WAIT = 0x20,
    ITEM_STATE_BITS = 0x3E,
};

// One entry of the download list: a URL, the file it is saved to, the size
// the server gave and the state of its download.
class URLItem {
public:
    explicit URLItem(const char* url);
    // An item whose sent form (UrlText::SentForm of `url`) is known already.
    URLItem(const char* url, std::string sentURL);
    URLItem(const URLItem&) = delete;
    URLItem& operator=(const URLItem&) = delete;

    // Changes the state and tells the live document, unless it is the same.
    // The reason stays with the error, cancelled and retry-wait states and
    // goes with any other.
    void SetState(unsigned char state);
    // The state with the reason shown beside it: why the item failed or was
    // cancelled, or when it is tried again. Tells the document when either
    // changed.
    void SetState(unsigned char state, const std::string& reason);
    // Ends the item in error for the reason `text`.
    void SetFailed(unsigned char state, const std::string& text);
    // The label of the state column ("ﾀﾞｳﾝﾛｰﾄﾞ中", "完了", ...).
    const std::string& GetStateLabel() const;
    bool IsPending() const { return (m_state & ITEM_STATE_BITS) == 0; }
    bool IsDownloading() const { return (m_state & ITEM_DOWNLOADING) != 0; }

    // The file name the URL is saved to, relative to the download folder:
    // the last two segments of the URL's path joined by a backslash, its
    // escapes decoded where the code page holds the characters, with
    // characters that file names cannot hold turned into "_".
    static std::string FileNameFromURL(const char* url);

    // The URL as it is sent to servers: ASCII, with UTF-8 escapes and an
    // IDNA host where the URL as given has other characters.
    const std::string& GetSentURL() const { return m_strSentURL.empty() ? m_strURL : m_strSentURL; }

    // The URL as the user gave it, in the ANSI code page (a URL with
    // characters the code page lacks comes in its sent form).
    const std::string m_strURL;
    std::string m_strFileName;
    int m_nSize = 0;
    unsigned char m_state = ITEM_UNREAD;
    // The user chose m_strFileName (an absolute path) in the properties
    // dialog; a name derived from the URL must stay in the download folder.
    bool m_bPathChosen = false;
    // The item's last transfer ended with bytes kept beside its target (a
    // partial file and its record) for a later one to go on from: only
    // then is there anything to remove when the item leaves the list.
    bool m_bPartialKept = false;
    // Why the last download failed, or that it was cancelled, in the user's
    // words (or, while the item waits for a retry, when it is tried again);
    // empty unless the item is in error, cancelled or waiting.
    std::string m_strFailure;

    // Retries of the running batch: how many were spent on the item, and
    // while it waits, when it is fetched again (Clock::Seconds) and why its
    // last try failed.
    int m_nRetries = 0;
    long long m_llRetryAt = 0;
    std::string m_strLastFailure;

    // Kept by the document that lists the item: its position in the list
    // (-1 while unlisted), whether it is counted as pending, and whether
    // the running batch leaves it alone (a retry takes only the items that
    // had failed or were cancelled when it began).
    bool m_bCountedPending = false;
    bool m_bOutsideBatch = false;
    int m_nIndex = -1;

private:
    // Empty when it is m_strURL itself, as it is for most URLs.
    std::string m_strSentURL;
};
