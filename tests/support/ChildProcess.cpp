#include "support/ChildProcess.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace zqb::test {

pid_t spawnSelf(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror("posix_spawn");
        std::exit(2);
    }
    return pid;
}

bool waitForSuccess(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child) {
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace zqb::test
