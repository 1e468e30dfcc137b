#pragma once
#include <string>

// How the last unattended run went: when it began, whether its connection
// came up, how its items ended and how many retries it spent. It is kept
// in the registry as soon as the run is over, so that the morning after
// (even after a shutdown) the status bar can still say it.
struct RunSummary {
    enum Connection {
        NOT_DIALLED = 0,    // no entry to dial
        CONNECTED = 1,      // the call connected
        DIAL_FAILED = 2,    // the call failed or was cancelled
        ALREADY_UP = 3,     // a connection was up already: no call made
    };

    long long started = 0;      // Clock::Seconds; 0: no run yet
    Connection connection = NOT_DIALLED;
    int done = 0;
    int failed = 0;
    int cancelled = 0;
    int retries = 0;

    bool IsEmpty() const { return started == 0; }
    // "前回のタイマー実行 2026/12/07 (月) 3:00: 接続成功、完了 3 件、
    // エラー 0 件、キャンセル 0 件、再試行 2 回"; empty for no run.
    std::string Format() const;

    // The registry section "LastRun" of the program's key.
    void Save() const;
    // The stored run; an empty one when none is stored or it is unreadable.
    static RunSummary Load();
};
