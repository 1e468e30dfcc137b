#pragma once
#include <string>
#include "ThreadMessage.h"
#include "FailureText.h"
#include "TransferRate.h"
#include "../framework/Dialog.h"
#include "../framework/Pacer.h"

class CDownloadParentDlg;
class CDownloadThread;
class CKestrinDoc;
class URLItem;

// One progress panel: a download thread of its own and the item it is
// fetching, with the URL, the sizes and a progress bar. The panel goes
// when its thread has ended and let go of it.
class CDownloadChildDlg : public CDialog, public ThreadMessageReceiver {
public:
    CDownloadChildDlg();

    // Takes the first pending item and starts its transfer; FALSE when
    // none is pending or the transfer could not be handed over. Items whose
    // file another item of the batch has claimed end in error on the way.
    BOOL StartNextItem();
    // Takes the next item, or lets the thread end when there is none.
    void GoOn();
    // Lets go of the current item and stops the thread (the list is
    // being cleared).
    void Abandon();
    // Stops the thread: the current item ends cancelled.
    void StopThread();
    // The disconnect time: the current item ends cancelled for `reason`
    // now, and the thread stops.
    void EndAtDeadline(const std::string& reason);
    // The panel never got a thread.
    bool HasNoThread() const { return m_bNoThread != 0; }

    void OnReleased() override;
    void OnThreadMessage(int type, int p1, int p2, int p3, CBaseThread* thread) override;
    void OnThreadEnded(CBaseThread* thread) override;

    // A byte count of a thread message: the low 32 bits in p1, the high
    // ones in p2 (0 below 4 GiB). A size of -1 (p1 alone) means none is
    // known.
    static long long MessageBytes(int p1, int p2);

    CKestrinDoc* m_pDoc = nullptr;
    URLItem* m_pItem = nullptr;
    CDownloadThread* m_pThread = nullptr;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnInitDialog() override;
    void OnDestroy() override;
    void OnCancel() override;
    void PostNcDestroy() override;

private:
    CKestrinDoc* Doc() const;
    CDownloadParentDlg* Parent() const;
    // Starts the panel's download thread.
    void CreateThread();
    // Ends the current item: `remove` bits off, `add` bits on, with the
    // reason shown beside it when one is given.
    void EndItem(unsigned char remove, unsigned char add, const std::string* reason = nullptr);
    void FailItem(const TransferFailure& failure);

    // The texts and the bar follow the transfer at most ten times a
    // second; a change that comes sooner is shown by a timer. Beside the
    // sizes the panel shows the speed (an average over the last seconds),
    // the time left when the size is known, and the percentage.
    void ShowLater();
    void ShowNow();
    // Writes `text` into control `id` when it differs from `shown`.
    void ShowText(int id, const std::string& text, std::string& shown);

    std::string m_strClaim;         // the current item's file, as claimed
    std::string m_strFolder;        // the download folder of the current item
    // The file name of an item given up with the list while its transfer
    // still ran: what the transfer keeps of it is removed once it ends.
    std::string m_strAbandonedName;
    long long m_llTotal = 0;        // announced size; 0 or less: unknown
    long long m_llDone = 0;         // bytes received so far
    std::string m_strURL;           // what the panel is to show
    std::string m_strShownURL, m_strShownTotal, m_strShownDone;
    int m_nShownPercent = -1;
    CPacer m_showPacer{1, 100};    // the texts and the bar change at most every 100 ms
    TransferRate m_rate;
    const URLItem* m_pRateItem = nullptr;   // whose transfer m_rate follows
    std::string m_strShownSpeed, m_strShownLeft, m_strShownPercent;
    bool m_bRateTimer = false;

    unsigned m_bCreating : 1;
    unsigned m_bNoThread : 1;
    unsigned m_bWindowGone : 1;
};
