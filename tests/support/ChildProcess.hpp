#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace zqb::test {

// posix_spawn of a program built for the target: in a cross build the tests run under an emulator, and a
// program they start runs under it too (the kernel of the build machine cannot run it by itself).
int spawnTargetProgram(pid_t* pid, const char* program, const posix_spawn_file_actions_t* actions,
                       char* const argv[], char* const envp[]);

// Starts `program` (a path) as a child process, with `arguments` (the first is the program's name) and the
// environment as it is now. Ends the calling process when no child can be started.
pid_t spawnProgram(const std::string& program, const std::vector<std::string>& arguments);

// Starts this very program again as a child process, with `arguments` (the first is the program's name) and
// the environment as it is now. Ends the calling process when no child can be started.
pid_t spawnSelf(const std::vector<std::string>& arguments);

// The same with the environment `environment` (entries "NAME=value").
pid_t spawnSelf(const std::vector<std::string>& arguments, const std::vector<std::string>& environment);

// The environment as it is now, without the variables named in `removed` and with the entries of `added`
// ("NAME=value"), which replace any of the same name.
std::vector<std::string> currentEnvironment(const std::vector<std::string>& removed,
                                            const std::vector<std::string>& added);

// Waits for the child to end; true when it exited with status 0.
bool waitForSuccess(pid_t child);

// Whether the process (any of its threads) waits for a lock on a file or folder: the kernel's list of locks
// shows its waiters.
bool waitsForALock(pid_t process);

}  // namespace zqb::test
