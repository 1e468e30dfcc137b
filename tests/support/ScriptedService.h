#pragma once
// The scripted dial-up service put in place for one test, and cleared up
// after it: a dialing window still open is closed first.
#include "FakeDialService.h"

namespace test {

struct ScriptedService {
    ScriptedService();
    ~ScriptedService();
    ScriptedService(const ScriptedService&) = delete;
    ScriptedService& operator=(const ScriptedService&) = delete;
    FakeDialService fake;
};

} // namespace test
