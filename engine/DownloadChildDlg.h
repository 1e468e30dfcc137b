#pragma once
#include "ThreadMessage.h"
#include "../framework/Dialog.h"

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
    // none is pending or the transfer could not be handed over.
    BOOL StartNextItem();
    // Takes the next item, or lets the thread end when there is none.
    void GoOn();
    // Lets go of the current item and stops the thread (the list is
    // being cleared).
    void Abandon();
    // Stops the thread: the current item ends cancelled.
    void StopThread();
    // The panel never got a thread.
    bool HasNoThread() const { return m_bNoThread != 0; }

    void OnReleased() override;
    void OnThreadMessage(int type, int p1, int p2, int p3, CBaseThread* thread) override;
    void OnThreadEnded(CBaseThread* thread) override;

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
    // Starts the panel's download thread.
    void CreateThread();
    void ShowKilobytes(int id, int bytes) const;
    void SetProgress(int percent) const;
    // Ends the current item with `bit` instead of downloading.
    void EndItem(unsigned char remove, unsigned char add);

    unsigned m_bCreating : 1;
    unsigned m_bNoThread : 1;
    unsigned m_bWindowGone : 1;
};
