#include "tests/support/child_process.h"

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vemla::test {

TChildProcess::TChildProcess(const std::vector<std::string>& arguments,
                             const TSpawnOptions& options) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.StandardOutput >= 0) {
        posix_spawn_file_actions_adddup2(&actions, options.StandardOutput, 1);
        if (options.ErrorsToOutput)
            posix_spawn_file_actions_adddup2(&actions, options.StandardOutput, 2);
    }
    if (!options.WorkingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.WorkingDirectory.c_str());
    std::vector<std::string> all = arguments, environment = options.Environment;
    std::vector<char*> argv, envp;
    for (auto& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    for (char** entry = environ; *entry; ++entry)
        environment.emplace_back(*entry);
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    int failed = posix_spawn(&Id, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) throw std::runtime_error("cannot start " + arguments.front());
}

TChildProcess::~TChildProcess() {
    if (Status >= 0) return;
    kill(Id, SIGKILL);
    waitpid(Id, nullptr, 0);
}

int TChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (Status < 0) {
        // A pidfd turns the exit into something poll can wait on with a deadline.
        int pidfd = static_cast<int>(syscall(SYS_pidfd_open, Id, 0));
        pollfd p{pidfd, POLLIN, 0};
        bool ended = poll(&p, 1, static_cast<int>(timeout.count())) == 1;
        close(pidfd);
        int status = 0;
        if (!ended || waitpid(Id, &status, 0) != Id) return -1;
        Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return Status;
}

int TChildProcess::Terminate(std::chrono::milliseconds timeout) {
    if (Status < 0) kill(Id, SIGTERM);
    return WaitForExit(timeout);
}

} // namespace vemla::test
