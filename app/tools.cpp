#include "app/tools.h"

#include "app/check_session.h"
#include "app/check_triggers.h"
#include "app/learn_session.h"
#include "platform/cp1251.h"
#include "platform/port_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vemla {
namespace {

// What a tool says and how it ends. Its texts are UTF-8; Output may be a file's bytes.
struct TToolRun {
    int Status = 0;
    std::string Output, Errors;
    const char* OutputName = "the output"; // for the error when it cannot be written
};

TToolRun Failure(const std::string& error) {
    return {1, "", error + "\n"};
}

TToolRun CommandLineError(const TCommandLine& line, const TProgram& program) {
    std::string name = program.Name;
    return {2, "", name + ": " + line.Error + " (" + name + " --help lists the options)\n"};
}

TToolRun Help(const TCommandLine&, const TProgram& program) {
    return {0, UsageText(program.Name), ""};
}

TToolRun Version(const TCommandLine&, const TProgram& program) {
    return {0, std::string(program.Name) + " " + program.Version + "\n", ""};
}

TToolRun ListPorts(const TCommandLine&, const TProgram&) {
    TToolRun run;
    for (const TPortInfo& port : ListSerialPorts())
        run.Output += port.Describe() + "\n"; // paths as the file system names them
    return run;
}

TToolRun CheckTriggers(const TCommandLine& line, const TProgram&) {
    TResult<std::string> report = CheckTriggerFile(line.TriggerFile, line.HashSize);
    if (!report.Ok()) return Failure(Cp1251ToUtf8(report.Error));
    return {0, report.Value, ""};
}

TToolRun CheckSession(const TCommandLine& line, const TProgram& program) {
    TResult<TSessionVerdict> check =
        CheckSessionFiles(line.SessionLog, line.TriggerFile, line.HashSize,
                          line.Mirror ? TSessionSide::Mirror : TSessionSide::Received);
    if (!check.Ok()) return Failure(std::string(program.Name) + ": " + check.Error);
    return {check.Value.Passed ? 0 : 1, check.Value.Report, ""};
}

TToolRun Learn(const TCommandLine& line, const TProgram& program) {
    TResult<TSessionLog> log = ReadSessionLog(line.LearnLog);
    TResult<std::string> learned;
    if (log.Ok()) learned = LearnDevice(log.Value, line.LearnLog);
    const std::string& error = log.Ok() ? learned.Error : log.Error;
    if (!error.empty()) return Failure(std::string(program.Name) + ": " + error);
    return {0, learned.Value, "", "the trigger file"};
}

struct TTool {
    bool (*Chosen)(const TCommandLine&);
    TToolRun (*Run)(const TCommandLine&, const TProgram&);
};

const TTool Tools[] = {
    {[](const TCommandLine& l) { return !l.Error.empty(); }, CommandLineError},
    {[](const TCommandLine& l) { return l.Help; }, Help},
    {[](const TCommandLine& l) { return l.Version; }, Version},
    {[](const TCommandLine& l) { return l.ListPorts; }, ListPorts},
    {[](const TCommandLine& l) { return l.CheckTriggers; }, CheckTriggers},
    {[](const TCommandLine& l) { return !l.SessionLog.empty(); }, CheckSession},
    {[](const TCommandLine& l) { return !l.LearnLog.empty(); }, Learn},
};

} // namespace

std::optional<int> RunTool(const TCommandLine& commandLine, const TProgram& program) {
    for (const TTool& tool : Tools) {
        if (!tool.Chosen(commandLine)) continue;
        TToolRun run = tool.Run(commandLine, program);
        std::fputs(run.Errors.c_str(), stderr);
        std::fwrite(run.Output.data(), 1, run.Output.size(), stdout);
        // A learned trigger file that did not reach its file is a failure, not a success.
        if (std::fflush(stdout) != 0 && run.Status == 0) {
            std::fprintf(stderr, "%s: %s could not be written: %s\n", program.Name, run.OutputName,
                         std::strerror(errno));
            return 1;
        }
        return run.Status;
    }
    return std::nullopt;
}

} // namespace vemla
