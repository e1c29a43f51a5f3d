#pragma once
// A server the benchmarks start on loopback and stop with Ctrl-C, and the port
// it says it listens on.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

class Started {
public:
    Started(std::vector<std::string> command, bool fromStderr) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], fromStderr ? 2 : 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        std::vector<char*> argv;
        for (std::string& word : command)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        std::FILE* said = fdopen(pipeFds[0], "r");
        char line[512];
        while (port_ == 0 && std::fgets(line, sizeof line, said)) {
            // dio-cli says "正在监听 127.0.0.1:PORT" in its log; the memory server the bare port.
            const std::string text(line);
            const auto at = text.find("127.0.0.1:");
            port_ = at != std::string::npos ? std::atoi(text.c_str() + at + 10)
                    : fromStderr            ? 0
                                            : std::atoi(line);
        }
        said_ = said; // kept open: the server may write more
    }
    ~Started() {
        if (pid_ > 0) {
            kill(pid_, SIGINT);
            waitpid(pid_, nullptr, 0);
        }
        if (said_)
            std::fclose(said_);
    }
    int port() const { return port_; }
    // The CPU time the server has used so far, in seconds (user and system).
    double cpuSeconds() const {
        std::FILE* stat = std::fopen(("/proc/" + std::to_string(pid_) + "/stat").c_str(), "r");
        unsigned long user = 0, system = 0;
        if (stat && std::fscanf(stat, "%*d %*s %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                                &user, &system) != 2)
            user = system = 0;
        if (stat)
            std::fclose(stat);
        return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

private:
    pid_t pid_ = 0;
    int port_ = 0;
    std::FILE* said_ = nullptr;
};
