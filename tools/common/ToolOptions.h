#pragma once
// The command line of a program that takes options: "-h" or "--help", the
// program's own options (some take the next argument as their value) and,
// where the program takes one, a plain argument such as a file.

#include <functional>
#include <string>
#include <vector>

namespace UToolOptions {

struct tOption {
    const char* name;  // "--scale"
    bool takesValue;
    // Called with the value (null for an option that takes none); false
    // when it refuses the value, having said why on stderr.
    std::function<bool(const char* value)> apply;
};

// An option without a value that sets `flag`.
tOption Flag(const char* name, bool& flag);
// An option whose value is kept as it is written.
tOption Text(const char* name, std::string& text);

// Reads argv[1] on, in order, and stops at the first argument it cannot
// use: an argument that starts with "--" and is the last one gets
// "<program>: a value is missing after '<argument>' (see --help)", any other
// "<program>: unknown argument '<argument>' (see --help)" on stderr. `plain`
// is offered the arguments that do not start with "-" and returns false for
// one it does not take (null: none is taken). "-h" and "--help" set `help`.
// False when an argument could not be used or an option refused its value.
bool Parse(const char* program, int argc, char** argv, const std::vector<tOption>& options, bool& help,
           const std::function<bool(const char* argument)>& plain = nullptr);

// `text` whole as a finite number.
bool ParseNumber(const char* text, double& out);

}  // namespace UToolOptions
