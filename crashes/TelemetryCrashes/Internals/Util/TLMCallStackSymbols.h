#pragma once
// The calling thread's call stack as symbol lines of the platform's form,
// innermost first, starting at the caller of this function:
//   "3   libvekmont.so                       0x00007f1c2a4b5c80 render(int) + 40"
// A frame without a known symbol is named by its image's load address.

#include <string>
#include <vector>

std::vector<std::string> TLMCallStackSymbols();
