#pragma once

#include "app/command_line.h"

#include <optional>

namespace vemla {

// Who runs the tools: the name and version that --help and --version print.
struct TProgram {
    const char* Name;
    const char* Version;
};

// Runs the subcommand the command line asks for instead of the program (--help, --version,
// --list-ports, --check-triggers, --check-session, --learn; a malformed command line reports
// itself with status 2). Their texts go to standard output and error in UTF-8. The exit
// status, or nothing when the command line asks for no subcommand.
std::optional<int> RunTool(const TCommandLine& commandLine, const TProgram& program);

} // namespace vemla
