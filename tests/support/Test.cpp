#include "Test.h"
#include <cstdio>
#include <cstring>
#include <vector>

namespace test {

namespace {

struct Case {
    const char* name;
    std::function<void()> fn;
};

std::vector<Case>& Cases()
{
    static std::vector<Case> cases;
    return cases;
}

int g_failures = 0;
std::vector<std::string> g_contexts;

} // namespace

Context::Context(std::string what)
{
    g_contexts.push_back(std::move(what));
}

Context::~Context()
{
    if (!g_contexts.empty())
        g_contexts.pop_back();
}

void Register(const char* name, std::function<void()> fn)
{
    Cases().push_back({name, std::move(fn)});
}

void Fail(const char* file, int line, const std::string& what)
{
    ++g_failures;
    for (const std::string& context : g_contexts)
        std::printf("  in: %s\n", context.c_str());
    std::printf("  %s:%d: %s\n", file, line, what.c_str());
    std::fflush(stdout);
}

int RunAll(int argc, char** argv)
{
    const char* only = argc > 1 ? argv[1] : nullptr;
    int passed = 0, failed = 0;
    for (const Case& c : Cases()) {
        if (only && !std::strstr(c.name, only))
            continue;
        const int before = g_failures;
        g_contexts.clear();
        std::printf("[ RUN  ] %s\n", c.name);
        std::fflush(stdout);
        try {
            c.fn();
        } catch (const Failure&) {
        } catch (const std::exception& e) {
            Fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
        } catch (...) {
            Fail(__FILE__, __LINE__, "unknown exception");
        }
        if (g_failures == before) {
            ++passed;
            std::printf("[  OK  ] %s\n", c.name);
        } else {
            ++failed;
            std::printf("[ FAIL ] %s\n", c.name);
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

} // namespace test
