#include "DdeServer.h"
#include "CallGuarded.h"
#include "WinApp.h"

CDdeServer* CDdeServer::s_pServer = nullptr;

CDdeServer::~CDdeServer()
{
    Stop();
}

bool CDdeServer::Start(const char* service)
{
    Stop();
    s_pServer = this;
    const DWORD flags = APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES |
                        CBF_FAIL_REQUESTS | CBF_SKIP_ALLNOTIFICATIONS;
    if (::DdeInitializeA(&m_idInst, Callback, flags, 0) != DMLERR_NO_ERROR) {
        m_idInst = 0;
        s_pServer = nullptr;
        return false;
    }
    m_hszService = ::DdeCreateStringHandleA(m_idInst, service, CP_WINANSI);
    m_hszTopic = ::DdeCreateStringHandleA(m_idInst, "System", CP_WINANSI);
    if (!m_hszService || !m_hszTopic ||
        !::DdeNameService(m_idInst, m_hszService, nullptr, DNS_REGISTER)) {
        Stop();
        return false;
    }
    return true;
}

void CDdeServer::Stop()
{
    if (m_nTimer) {
        ::KillTimer(nullptr, m_nTimer);
        m_nTimer = 0;
    }
    m_queue.clear();
    if (m_idInst) {
        if (m_hszService)
            ::DdeNameService(m_idInst, m_hszService, nullptr, DNS_UNREGISTER);
        if (m_hszService)
            ::DdeFreeStringHandle(m_idInst, m_hszService);
        if (m_hszTopic)
            ::DdeFreeStringHandle(m_idInst, m_hszTopic);
        ::DdeUninitialize(m_idInst);
    }
    m_idInst = 0;
    m_hszService = m_hszTopic = nullptr;
    if (s_pServer == this)
        s_pServer = nullptr;
}

HDDEDATA CALLBACK CDdeServer::Callback(UINT type, UINT, HCONV, HSZ hsz1, HSZ hsz2,
                                       HDDEDATA data, ULONG_PTR, ULONG_PTR)
{
    CDdeServer* self = s_pServer;
    if (!self)
        return nullptr;
    HDDEDATA result = nullptr;
    CallGuarded([&] {
        switch (type) {
        case XTYP_CONNECT:
            // hsz1 is the topic, hsz2 the service.
            result = reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(
                ::DdeCmpStringHandles(hsz1, self->m_hszTopic) == 0 &&
                ::DdeCmpStringHandles(hsz2, self->m_hszService) == 0));
            break;
        case XTYP_EXECUTE:
            result = self->OnExecute(data);
            break;
        }
    });
    return result;
}

HDDEDATA CDdeServer::OnExecute(HDDEDATA data)
{
    const DWORD size = ::DdeGetData(data, nullptr, 0, 0);
    if (size == 0 || size > 64 * 1024)
        return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    std::string bytes(size, '\0');
    ::DdeGetData(data, reinterpret_cast<BYTE*>(&bytes[0]), size, 0);
    std::string command;
    if (size >= 2 && bytes[1] == '\0' && bytes[0] != '\0') {
        // A client that speaks UTF-16 sent it as it is.
        const auto* wide = reinterpret_cast<const wchar_t*>(bytes.data());
        const int wn = static_cast<int>(wcsnlen(wide, size / sizeof(wchar_t)));
        const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, wn, nullptr, 0, nullptr, nullptr);
        command.assign(n > 0 ? n : 0, '\0');
        if (n > 0)
            ::WideCharToMultiByte(CP_ACP, 0, wide, wn, &command[0], n, nullptr, nullptr);
    } else {
        command.assign(bytes.c_str());
    }
    if (!CWinApp::IsDDECommand(command))
        return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    // Carried out from the message loop, so that the sender is not kept
    // waiting on whatever opening the file shows.
    m_queue.push_back(command);
    if (!m_nTimer)
        m_nTimer = ::SetTimer(nullptr, 0, 0, RunQueued);
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

void CALLBACK CDdeServer::RunQueued(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    CDdeServer* self = s_pServer;
    if (!self || self->m_nTimer != timer)
        return;
    self->m_nTimer = 0;
    // While a modal dialog is up (the main window disabled) the list may
    // be in use by it: wait until the user has closed it.
    HWND main = AfxGetMainWndHandle();
    if (main && !::IsWindowEnabled(main)) {
        self->m_nTimer = ::SetTimer(nullptr, 0, 500, RunQueued);
        return;
    }
    std::vector<std::string> queue;
    queue.swap(self->m_queue);
    CallGuarded([&] {
        for (const std::string& command : queue) {
            if (CWinApp* app = AfxGetApp())
                app->OnDDECommand(command);
        }
    });
}
