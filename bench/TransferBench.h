#pragma once
// What the transfer benchmarks share: curl run as a child, CPU time of a
// process, medians of the repetition means kept by label, the load average
// and the closing ratio lines.

#include <map>
#include <string>
#include <vector>

namespace transferbench {

// The program's name in failure messages.
void setProgramName(const char* name);
// Prints "<program>: <what>" and ends the program.
[[noreturn]] void die(const std::string& what);

// Runs curl with `args` (args[0] is "curl"); returns what it printed on
// standard output. Dies when curl fails.
std::string runCurlOutput(const std::vector<std::string>& args, const std::string& workingFolder = {});
// The same, for a curl that prints only an HTTP status (-w "%{http_code}").
int runCurl(const std::vector<std::string>& args);

// User and system seconds of RUSAGE_SELF or RUSAGE_CHILDREN so far.
double cpuSeconds(int who);
double median(std::vector<double> values);

// The mean wall seconds of each repetition, by label.
std::map<std::string, std::vector<double>>& wallMeans();
// "/proc/loadavg" as read now.
std::string loadAverage();
// "<ours> n ms vs <theirs> m ms (medians of a and b): r.rrx", when both were run.
void printRatio(const std::string& ours, const std::string& theirs);

}  // namespace transferbench
