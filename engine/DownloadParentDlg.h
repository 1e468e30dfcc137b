#pragma once
#include "../framework/Dialog.h"

class CDownloadChildDlg;
class CKestrinDoc;

// The progress window of a batch download ("ダウンロード"). It lives as long
// as the program, hidden while no batch runs. A batch runs in at most two
// panels stacked below its Cancel button, each downloading the first
// pending item of the list, one after another, until none is left.
class CDownloadParentDlg : public CDialog {
public:
    explicit CDownloadParentDlg(CKestrinDoc* doc);

    bool Create(HWND owner);
    // Opens the panels of a new batch; FALSE when nothing is pending.
    BOOL StartDownloads();
    // Opens one more panel if there is room and an item waits.
    BOOL AddDownload();
    // Stops every transfer and lets go of their items; the batch ends as
    // soon as the panels have closed. Items added meanwhile wait.
    void AbandonBatch();
    // The document is going away: close now, or when the panels are gone.
    void RequestClose();
    // A panel's window is being destroyed.
    void RemoveChild(CWnd* child);

    bool IsStopping() const { return m_bStopping != 0; }
    int GetChildCount() const { return m_nChildren; }
    CDownloadChildDlg* GetChild(int index) const { return m_children[index]; }

    // Measured once: a panel's size and the parent's client height
    // without panels (its Cancel button row), in pixels.
    static int s_nChildWidth;
    static int s_nChildHeight;
    static int s_nParentClientHeight;

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnDestroy() override;
    void PostNcDestroy() override;

private:
    CDownloadChildDlg* OpenPanel();
    void LayoutChildren(int first);
    void PlaceFirstTime();
    CKestrinDoc* Doc() const;

    CKestrinDoc* m_pDoc;
    unsigned m_bCloseRequested : 1;
    unsigned m_bStopping : 1;       // the batch is being cancelled or given up
    unsigned m_bPlaced : 1;
    CDownloadChildDlg* m_children[2] = {};
    int m_nChildren = 0;
};
