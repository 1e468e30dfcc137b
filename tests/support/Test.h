#pragma once
// A small test harness: TEST_CASE registers a function, CHECK and
// CHECK_EQ record failures and go on, REQUIRE stops the case.
#include <functional>
#include <sstream>
#include <string>

namespace test {

struct Failure {};

void Register(const char* name, std::function<void()> fn);
void Fail(const char* file, int line, const std::string& what);
int RunAll(int argc, char** argv);

template <typename A, typename B>
bool CheckEq(const A& a, const B& b, const char* ea, const char* eb,
             const char* file, int line)
{
    if (a == b)
        return true;
    std::ostringstream out;
    out << ea << " == " << eb << "\n      got:      " << a << "\n      expected: " << b;
    Fail(file, line, out.str());
    return false;
}

// Names what is being checked (a table row) while it lives: a failure
// inside says it.
class Context {
public:
    explicit Context(std::string what);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

struct Registrar {
    Registrar(const char* name, std::function<void()> fn) { Register(name, std::move(fn)); }
};

} // namespace test

#define TEST_CAT2(a, b) a##b
#define TEST_CAT(a, b) TEST_CAT2(a, b)
#define TEST_CASE(name)                                                        \
    static void TEST_CAT(test_fn_, __LINE__)();                                \
    static test::Registrar TEST_CAT(test_reg_, __LINE__)(name, TEST_CAT(test_fn_, __LINE__)); \
    static void TEST_CAT(test_fn_, __LINE__)()

#define CHECK(cond) \
    ((cond) ? true : (test::Fail(__FILE__, __LINE__, "CHECK(" #cond ")"), false))
#define CHECK_EQ(a, b) test::CheckEq((a), (b), #a, #b, __FILE__, __LINE__)
#define REQUIRE(cond) \
    do { if (!(cond)) { test::Fail(__FILE__, __LINE__, "REQUIRE(" #cond ")"); throw test::Failure(); } } while (0)
