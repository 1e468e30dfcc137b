#pragma once
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include "../framework/Document.h"

class CDownloadParentDlg;
class CKestrinView;
class URLItem;

// The download list: the items in the order they were added, the batch
// download that runs over them, and the observers told of it.
class CKestrinDoc : public CDocument {
public:
    // A batch over the whole list (every item fetched again), or over the
    // items that failed or were cancelled (the others left as they are).
    enum BatchMode { BATCH_IDLE = 0, BATCH_DOWNLOAD = 2, BATCH_RETRY = 3 };

    // Observer of the document; override what you need.
    class TargetI {
    public:
        virtual void OnDocumentDestroyed() {}
        virtual void OnDownloadStarted() {}
        virtual void OnDownloadFinished() {}
    };

    CKestrinDoc();
    ~CKestrinDoc() override;

    // The live document, or null.
    static CKestrinDoc* GetDoc() { return s_pDoc; }

    // Adds a URL at the end of the list; null when a URL sent the same way
    // (URLItem::GetSentURL) is listed already, or when it is no URL a list
    // can hold (see below).
    URLItem* AddURL(const char* url);
    // An absolute URL (scheme, colon, something) without control
    // characters and without blanks at either end: what every road into
    // the list accepts, and what a list file line gives back.
    static bool IsListableURL(const char* url);
    // Deletes the item at `index`; FALSE while it is downloading.
    BOOL RemoveItem(int index);
    // Deletes the items at `indexes` (ascending) in one pass, except the
    // downloading ones; `kept` receives the positions those have now.
    // Returns the number of items deleted.
    int RemoveItems(const std::vector<int>& indexes, std::vector<int>* kept = nullptr);
    // The position of an item (a live one) in this list, or -1.
    int IndexOf(const URLItem* item) const;
    // The items of this list being downloaded now (a few at most).
    const std::vector<URLItem*>& GetDownloadingItems() const { return m_downloading; }
    // The items waiting for a retry in the running batch.
    const std::vector<URLItem*>& GetWaitingItems() const { return m_waiting; }

    // Every item becomes unread and the batch starts; no retry of it is to
    // begin after `retryDeadline` (a time on Clock::Seconds' scale; 0 for
    // none).
    BOOL StartBatch(int mode, long long retryDeadline = 0);
    void FinishBatch();
    // The running (or last) batch was started by a command of the user,
    // not by a schedule: its end is announced.
    bool IsBatchByHand() const { return m_bBatchByHand; }
    // Some item failed or was cancelled: there is something to retry.
    bool HasFailedItems() const;
    // The first pending item in list order, while a batch runs.
    URLItem* FirstPendingItem() const;
    int CountPendingItems() const;
    // Lets a running batch take up newly pending items.
    void FeedBatch();
    // Items still pending or waiting for a retry end cancelled for
    // `reason`; returns how many.
    int CancelUnfinished(const std::string& reason);
    void OnItemStateChanged(unsigned char state, URLItem* item);

    CKestrinView* GetListView() const;
    void CreateProgressDialog();
    CDownloadParentDlg* GetProgressDialog() const { return m_pParentDlg; }
    // The progress dialog's window is gone (destroyed with its owner).
    void ForgetProgressDialog(CDownloadParentDlg* dlg);

    void AddTarget(TargetI* target);
    void RemoveTarget(TargetI* target);

    int GetItemCount() const { return static_cast<int>(m_items.size()); }
    URLItem* GetItem(int index) const { return m_items[index]; }

    // Empties the list. A running batch is given up first: its transfers
    // stop and no item of the old list is touched again.
    void DeleteContents() override;
    BOOL OnOpenDocument(const char* path) override;
    // A list with a name or items whose changes are not saved is offered
    // for saving (Yes saves, No discards, Cancel keeps it). Closing the
    // window while a batch runs says that the downloads will stop.
    BOOL CanCloseFrame(CFrameWnd* frame) override;
    BOOL SaveModified() override;
    // The name the list is known by: its file name, or "名称未設定".
    std::string GetDisplayName() const;
    // The program is about to end by itself after a scheduled run, with
    // nobody there to answer a question: a changed list is saved to its own
    // file, an unnamed one to a new file in the download folder, so that
    // closing asks nothing and loses nothing. False when it could not be
    // saved (then nothing may end).
    bool SaveBeforeUnattendedEnd();

    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;

    int m_nBatchMode = BATCH_IDLE;

protected:
    // A list file holds the URLs, one per line (CR LF), in list order, in
    // the ANSI code page (Shift-JIS); a URL with characters it lacks is
    // kept, and saved, in its sent form. Reading takes every line (CR LF,
    // LF or CR) that is an absolute URL; a file of binary data, or of text
    // without any URL, is refused with a message and the list stays as it
    // was. A file with a UTF-8 byte-order mark, or whose bytes outside
    // ASCII are all UTF-8, is read as UTF-8.
    bool LoadContents(const std::string& data) override;
    std::string SaveContents() const override;

private:
    void OnBatchDownload();
    void OnRetryFailed();
    void OnTimerSettings();
    bool CanStartBatch() const;
    bool CanRetryFailed() const;
    BOOL StartBatchByHand(int mode);
    BOOL AskToSave(UINT question);
    // Whether `item` waits for the running batch: unread, and within it.
    static bool IsBatchPending(const URLItem* item);
    bool CanStartTimer() const;

    static const CCommandEntry<CKestrinDoc> s_commands[];
    void ForgetItem(URLItem* item);
    // Deletes what an unfinished transfer of `item` left beside its target.
    static void RemovePartialOf(const URLItem* item);
    // Gives the items from `from` on their positions again.
    void Renumber(size_t from);
    void CountPending(URLItem* item, bool pending);
    void NoteDownloading(URLItem* item, bool downloading);
    void NoteWaiting(URLItem* item, bool waiting);

    std::vector<URLItem*> m_items;
    CDownloadParentDlg* m_pParentDlg;
    TargetI* m_targets[5] = {};
    int m_nTargets = 0;

    // What keeps large lists fast. The URLs listed, for the duplicate
    // rule: the keys are the items' own sent forms. Each item knows its
    // position (URLItem::m_nIndex). No item before m_nFirstPending is
    // pending, and m_nPending items are.
    std::unordered_map<std::string_view, URLItem*> m_byURL;
    mutable size_t m_nFirstPending = 0;
    int m_nPending = 0;
    std::vector<URLItem*> m_downloading;
    std::vector<URLItem*> m_waiting;
    bool m_bBatchByHand = false;
    bool m_bStartingByHand = false;

    static CKestrinDoc* s_pDoc;
};
