#include "Test.h"

int main(int argc, char** argv)
{
    return test::RunAll(argc, argv);
}
