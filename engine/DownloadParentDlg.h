#pragma once
#include "../framework/Dialog.h"

class CKestrinDoc;

// The progress window of a batch download. It lives as long as the
// program, hidden while no batch runs.
class CDownloadParentDlg : public CDialog {
public:
    explicit CDownloadParentDlg(CKestrinDoc* doc);

    bool Create(HWND owner);
    // Starts the transfers of a new batch; FALSE when nothing is pending.
    BOOL StartDownloads();
    // Starts one more transfer if the batch has room and work for it.
    BOOL AddDownload();
    // Stops every transfer of the batch and lets go of its items; the
    // batch ends as soon as the transfers have stopped.
    void AbandonBatch();
    // The document is going away: close now, or when the batch has ended.
    void RequestClose();

protected:
    void PostNcDestroy() override;

    CKestrinDoc* m_pDoc;
    unsigned m_bCloseRequested : 1;
};
