#pragma once
#include "DialService.h"

// Dial-up through RASAPI32, with the record sizes of Windows 95 so that
// every version of the service accepts them. The library is loaded when
// first needed; where it is missing there are no entries, no connections
// and every call fails.
class RasDialService : public DialService {
public:
    // The RASAPI32 calls used.
    struct Api {
        DWORD (APIENTRY* enumEntries)(LPCSTR, LPCSTR, LPRASENTRYNAMEA, LPDWORD, LPDWORD);
        DWORD (APIENTRY* getEntryDialParams)(LPCSTR, LPRASDIALPARAMSA, LPBOOL);
        DWORD (APIENTRY* dial)(LPRASDIALEXTENSIONS, LPCSTR, LPRASDIALPARAMSA, DWORD, LPVOID, LPHRASCONN);
        DWORD (APIENTRY* enumConnections)(LPRASCONNA, LPDWORD, LPDWORD);
        DWORD (APIENTRY* hangUp)(HRASCONN);
    };

    // The calls of `library`, loaded at the first use.
    explicit RasDialService(const char* library = "rasapi32.dll");
    // The given calls (a null call counts as missing).
    explicit RasDialService(const Api& api);

    bool EnumEntries(std::vector<std::string>& names) override;
    DWORD GetEntryDialParams(RASDIALPARAMSA& params) override;
    DWORD Dial(RASDIALPARAMSA& params, Notifier notifier, HRASCONN& conn) override;
    DWORD EnumConnections(HRASCONN& first, DWORD& count) override;
    DWORD HangUp(HRASCONN conn) override;

    // Windows 95 sizes of the records. A 64-bit build (only made to run the
    // tests where 32-bit programs cannot run) uses the same records with
    // their 64-bit alignment.
    static constexpr DWORD kEntryNameSize = 264;
#ifdef _WIN64
    static constexpr DWORD kDialParamsSize = sizeof(RASDIALPARAMSA);
    static constexpr DWORD kConnSize = 424;
#else
    static constexpr DWORD kDialParamsSize = 1052;
    static constexpr DWORD kConnSize = 412;
#endif

private:
    const Api& Calls();

    const char* m_pszLibrary;
    bool m_bLoaded = false;
    Api m_api{};
};
