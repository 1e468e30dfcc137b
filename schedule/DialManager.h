#pragma once
#include <string>

// Opens and closes the dial-up connections of the program, one call at a
// time. Each call is carried out by a dialing window, which reports the
// outcome back (NotifyConnected or NotifyFailed) to the observers.
class DialManager {
public:
    // Observer of the calls; override what you need.
    class TargetI_ {
    public:
        virtual void OnConnected() {}
        virtual void OnDialStarted() {}
        virtual void OnDialFailed() {}
    };

    DialManager() : m_bBusy(0) {}
    // A connection that is up when the program ends stays up.
    virtual ~DialManager() {}

    // Room for three observers.
    void AddTarget(TargetI_* target);
    // The last observer takes the place of the removed one.
    void RemoveTarget(TargetI_* target);

    // Starts a call to phone-book entry `entryName` in a dialing window;
    // false (and no call) for an empty name, while a call is in progress,
    // while some connection is up, or when the call could not be started.
    bool Dial(const std::string& entryName);
    // Hangs up the first active connection, whoever opened it; false when
    // none is up.
    bool HangUp();
    bool IsAnyConnectionActive();

    // The dialing window's outcome report: exactly one per accepted call.
    void NotifyConnected();
    void NotifyFailed();

    bool IsBusy() const { return m_bBusy != 0; }
    int GetTargetCount() const { return m_nTargets; }
    TargetI_* GetTarget(int index) const { return m_targets[index]; }

private:
    TargetI_* m_targets[3] = {};
    int m_nTargets = 0;
    unsigned char m_bBusy : 1;
};

// The one dial-up manager of the program.
DialManager& GetDialManager();
