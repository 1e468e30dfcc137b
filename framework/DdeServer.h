#pragma once
#include <windows.h>
#include <ddeml.h>
#include <string>
#include <vector>

// The program's end of dynamic data exchange with the shell: answers
// conversations on its service name and the topic "System", and passes
// each execute string (such as [open("C:\list.kst")]) to the application
// (CWinApp::OnDDECommand) from the message loop, after the sender has had
// its acknowledgement. One per process.
class CDdeServer {
public:
    CDdeServer() = default;
    ~CDdeServer();
    CDdeServer(const CDdeServer&) = delete;
    CDdeServer& operator=(const CDdeServer&) = delete;

    // Registers `service`; false when the system refused.
    bool Start(const char* service);
    void Stop();
    bool IsRunning() const { return m_idInst != 0; }

private:
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2,
                                      HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
    static void CALLBACK RunQueued(HWND, UINT, UINT_PTR timer, DWORD);
    HDDEDATA OnExecute(HDDEDATA data);

    DWORD m_idInst = 0;
    HSZ m_hszService = nullptr;
    HSZ m_hszTopic = nullptr;
    std::vector<std::string> m_queue;
    UINT_PTR m_nTimer = 0;

    static CDdeServer* s_pServer;
};
