#pragma once
#include <string>
#include "DialService.h"
#include "../framework/Dialog.h"

// The "ダイヤル状態" window that carries out one dial-up call for the dial-up
// manager: it dials the entry, shows the progress, redials while the line
// is busy and reports the outcome once. It closes itself when the call has
// connected or failed, or on Cancel, and deletes itself afterwards.
class CDialingDlg : public CDialog {
public:
    // A new dialing window owned by `owner`; null when it could not be made.
    static CDialingDlg* Open(HWND owner);

    // Dials `entryName`; false when the call could not be handed to the
    // service, in which case the window has closed (and reported).
    bool Start(const std::string& entryName);

    // The window of the call in progress, or null.
    static HWND GetCurrent();
    // The service's notifier: posts WM_RASDIALEVENT to the current window.
    static void WINAPI DialCallback(UINT msg, RASCONNSTATE state, DWORD error);

    static constexpr UINT_PTR kTimerId = 123;
    static constexpr UINT kTickMs = 10000;
    static constexpr int kRedialTicks = 18;

    HRASCONN GetConnection() const { return m_hConn; }
    int GetRedialTicks() const { return m_nRedialTicks; }

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnTimer(UINT_PTR id) override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    void PostNcDestroy() override;

private:
    CDialingDlg();
    ~CDialingDlg() override;

    bool DialEntry();
    void HangUpCall();
    void ShowStatus(UINT textId);
    void OnRasDialEvent(RASCONNSTATE state, DWORD error);
    void WipeParams();

    HRASCONN m_hConn = nullptr;
    std::string m_strEntryName;
    UINT_PTR m_nTimer = 0;
    int m_nRedialTicks = -1;
    bool m_bOutcomeDue = false;     // the manager still waits for the outcome
    bool* m_pbDeleted = nullptr;    // set when the object deletes itself
    // The entry's parameters with its stored password: wiped as soon as
    // the service has them.
    RASDIALPARAMSA m_params;
};
