// The program a Windows check examines, as given on its command line.
#pragma once

#include <string>

const std::wstring& ProgramUnderTest();
