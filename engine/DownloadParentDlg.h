#pragma once
#include <map>
#include <string>
#include "RetryQueue.h"
#include "BatchPlace.h"
#include "../framework/Dialog.h"
#include "../framework/Pacer.h"

class CDownloadChildDlg;
class CKestrinDoc;
class URLItem;

// The progress window of a batch download ("ダウンロード"). It lives as long
// as the program, hidden while no batch runs. A batch runs in at most two
// panels stacked below its Cancel button, each downloading the first
// pending item of the list, one after another, until none is left.
class CDownloadParentDlg : public CDialog {
public:
    explicit CDownloadParentDlg(CKestrinDoc* doc);

    bool Create(HWND owner);
    // Opens the panels of a new batch; FALSE when nothing is pending. No
    // retry is to begin after `retryDeadline` (Clock::Seconds; 0: none).
    BOOL StartDownloads(long long retryDeadline = 0);
    // Opens one more panel if there is room and an item waits.
    BOOL AddDownload();
    // Stops every transfer and lets go of their items; the batch ends as
    // soon as the panels have closed. Items added meanwhile wait.
    void AbandonBatch();
    // The program is closing: every transfer stops, and from now on no
    // panel opens, no item starts and no batch begins.
    void BeginClose();
    // The document is going away: close now, or when the panels are gone.
    void RequestClose();
    // A panel's window is being destroyed.
    void RemoveChild(CWnd* child);

    // A panel's item failed: true when it now waits for a retry (its file
    // stays claimed), false when the failure is final.
    bool OfferRetry(URLItem* item, const TransferFailure& failure);
    // The disconnect time of a scheduled run: the transfers stop (their
    // partial files stay for a later resume), and every item not done ends
    // cancelled for `reason`, at once.
    void StopAtDeadline(const std::string& reason);
    int GetRetryCount() const { return m_retries.GetSpent(); }
    // The timer that puts items whose retry is due back to the pending ones.
    static constexpr UINT_PTR kRetryTimer = 2;
    static constexpr UINT kRetryTickMs = 1000;

    bool IsStopping() const { return m_bStopping != 0 || m_bClosing != 0; }

    // One file per item: the first item of a batch to start on a file
    // claims it, and keeps it once completed; the claim goes when that
    // transfer fails or is cancelled. False when another item holds it.
    bool ClaimTarget(const std::string& key, const URLItem* item);
    void ReleaseTarget(const std::string& key);
    // The file an item's name stands for, resolved against `folder`, in
    // the form the file system compares names (upper case, no trailing
    // dots or blanks): two names are one file when their keys are equal.
    static std::string TargetKey(const std::string& folder, const std::string& name);

    // An item of the batch ended done, in error or cancelled.
    void NoteOutcome(unsigned char state);
    int GetDoneCount() const { return m_nDone; }
    int GetFailedCount() const { return m_nFailed; }
    int GetCancelledCount() const { return m_nCancelled; }
    int GetChildCount() const { return m_nChildren; }
    // Where the batch stands: ended, running and waiting items.
    BatchPlace GetPlace() const;
    // Shows that place in the caption ("ダウンロード 3 / 12"): at once when
    // it was last written a while ago, else as soon as that while is over.
    void ShowPlace();
    CDownloadChildDlg* GetChild(int index) const { return m_children[index]; }

    // Measured once: a panel's size and the parent's client height
    // without panels (its Cancel button row), in pixels.
    static int s_nChildWidth;
    static int s_nChildHeight;
    static int s_nParentClientHeight;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    void OnCancel() override;
    void OnDestroy() override;
    void PostNcDestroy() override;

private:
    CDownloadChildDlg* OpenPanel();
    void EachPanel(void (*step)(CDownloadChildDlg*));
    void LayoutChildren(int first);
    void PlaceFirstTime();
    CKestrinDoc* Doc() const;
    // The batch is over: the document and the main window are told.
    void EndBatch();
    // No panel is open: the batch ends, unless items wait for a retry
    // (and the batch is not being stopped), which the retry timer watches.
    void EndOrWait();
    void WatchRetries(bool on);
    void ShowPlaceNow();
    // The waiting items end in error; the number goes to the failed ones.
    void EndWaits();
    // The line under the Cancel button that tells, while items wait for a
    // retry, which one comes next and when ("再試行 2/3 (60 秒後): URL").
    void ShowRetryLine();

    CKestrinDoc* m_pDoc;
    unsigned m_bCloseRequested : 1;
    unsigned m_bStopping : 1;       // the batch is being cancelled or given up
    unsigned m_bPlaced : 1;
    unsigned m_bClosing : 1;        // the program is closing: for good
    unsigned m_bRetryTimer : 1;     // the retry timer runs
    // The caption follows the batch's place at most every 100 ms: a batch
    // of small files ends hundreds of items a second, and the system
    // redraws a caption as soon as its text changes.
    CPacer m_placePacer{3, 100};
    CDownloadChildDlg* m_children[2] = {};
    int m_nChildren = 0;

    std::map<std::string, const URLItem*> m_claims;
    int m_nDone = 0;
    int m_nFailed = 0;
    int m_nCancelled = 0;
    RetryQueue m_retries;
    std::string m_strCaption;       // the template's, without a place
    int m_nRetryLine = 0;           // the retry line's height while shown, in pixels
};
