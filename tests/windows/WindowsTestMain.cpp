// main() of the Windows checks that take the path of the program under test as their one
// argument (after GoogleTest has removed its own flags).
#include "WindowsTestMain.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {
std::wstring programPath;
}

const std::wstring& ProgramUnderTest() {
    return programPath;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [gtest flags] <path of OrvoDial.exe>\n", argv[0]);
        return 2;
    }
    for (const char* c = argv[1]; *c != '\0'; ++c)
        programPath += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return RUN_ALL_TESTS();
}
