// qvodgrab-cli: runs the extraction channels headless for scripts and tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qvod {

// Runs the command line args (without the program name). Writes the link
// lines to out and diagnostics to err. Returns 0 when every address gave links,
// 1 when one gave none (the reason on err), 2 on a usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Returns the --help text.
std::string CliUsage();

}  // namespace qvod
