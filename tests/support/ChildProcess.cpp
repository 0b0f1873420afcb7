#include "support/ChildProcess.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace zqb::test {

int spawnTargetProgram(pid_t* pid, const char* program, const posix_spawn_file_actions_t* actions,
                       char* const argv[], char* const envp[]) {
#ifdef ZQB_TEST_EMULATOR
    // The emulator and its options, then the program with the arguments after its name.
    std::vector<std::string> words;
    std::istringstream emulator(ZQB_TEST_EMULATOR);
    for (std::string word; emulator >> word;) {
        words.push_back(word);
    }
    words.emplace_back(program);
    for (char* const* argument = argv + (argv[0] != nullptr ? 1 : 0); *argument != nullptr; ++argument) {
        words.emplace_back(*argument);
    }
    std::vector<char*> emulated;
    for (auto& word : words) {
        emulated.push_back(word.data());
    }
    emulated.push_back(nullptr);
    return posix_spawn(pid, emulated[0], actions, nullptr, emulated.data(), envp);
#else
    return posix_spawn(pid, program, actions, nullptr, argv, envp);
#endif
}

namespace {

std::vector<std::string> environmentNow() {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        environment.emplace_back(*variable);
    }
    return environment;
}

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment) {
    const auto pointers = [](const std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (const auto& text : texts) {
            list.push_back(const_cast<char*>(text.c_str()));
        }
        list.push_back(nullptr);
        return list;
    };
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    pid_t pid = -1;
    if (spawnTargetProgram(&pid, program.c_str(), nullptr, argv.data(), envp.data()) != 0) {
        std::perror("posix_spawn");
        std::exit(2);
    }
    return pid;
}

}  // namespace

pid_t spawnProgram(const std::string& program, const std::vector<std::string>& arguments) {
    return spawn(program, arguments, environmentNow());
}

pid_t spawnSelf(const std::vector<std::string>& arguments) {
    return spawnSelf(arguments, environmentNow());
}

pid_t spawnSelf(const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
    // The program's own path: under an emulator /proc/self/exe names the emulated program as well.
    return spawn(std::filesystem::read_symlink("/proc/self/exe").string(), arguments, environment);
}

std::vector<std::string> currentEnvironment(const std::vector<std::string>& removed,
                                            const std::vector<std::string>& added) {
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        const std::string name = nameOf(entry);
        const auto named = [&](const std::string& other) { return nameOf(other) == name; };
        if (std::find(removed.begin(), removed.end(), name) == removed.end() &&
            std::none_of(added.begin(), added.end(), named)) {
            environment.push_back(entry);
        }
    }
    environment.insert(environment.end(), added.begin(), added.end());
    return environment;
}

bool waitForSuccess(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child) {
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool waitsForALock(pid_t process) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "<n>: -> <kind> <mode> <access> <pid> ..." for a waiter.
        std::istringstream fields(line);
        std::string id;
        std::string arrow;
        std::string kind;
        std::string mode;
        std::string access;
        long pid = 0;
        if (fields >> id >> arrow >> kind >> mode >> access >> pid && arrow == "->" && pid == process) {
            return true;
        }
    }
    return false;
}

}  // namespace zqb::test
