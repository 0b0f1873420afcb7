#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zqb::test {

// Starts this very program again as a child process, with `arguments` (the first is the program's name) and
// the environment as it is now. Ends the calling process when no child can be started.
pid_t spawnSelf(const std::vector<std::string>& arguments);

// Waits for the child to end; true when it exited with status 0.
bool waitForSuccess(pid_t child);

}  // namespace zqb::test
