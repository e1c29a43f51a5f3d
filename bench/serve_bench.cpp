// dio-cli serve: requests per second for "read 128 discrete inputs" with one
// client on loopback, against a minimal libmodbus server that answers from
// memory (modbus_memory_server), and against pymodbus's own server where
// PYMODBUS_PORT names one running (bench/run.sh starts it).
#include <benchmark/benchmark.h>
#include <modbus/modbus.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A server started for the benchmark, and the port it says it listens on.
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

private:
    pid_t pid_ = 0;
    int port_ = 0;
    std::FILE* said_ = nullptr;
};

void readInputs(benchmark::State& state, int port) {
    modbus_t* client = port > 0 ? modbus_new_tcp("127.0.0.1", port) : nullptr;
    if (!client || modbus_connect(client) != 0) {
        state.SkipWithError("no server to connect to");
        if (client)
            modbus_free(client);
        return;
    }
    std::uint8_t bits[128];
    for (auto _ : state)
        if (modbus_read_input_bits(client, 0, 128, bits) != 128)
            state.SkipWithError("a read failed");
    state.SetItemsProcessed(state.iterations());
    modbus_close(client);
    modbus_free(client);
}

void BM_ReadInputs_DioCliServe(benchmark::State& state) {
    setenv("ADCARD_SIM_NAME", ("bench-" + std::to_string(getpid())).c_str(), 1);
    const Started server({DIO_CLI, "serve", "--listen", "127.0.0.1:0"}, true);
    readInputs(state, server.port());
}
BENCHMARK(BM_ReadInputs_DioCliServe)->UseRealTime()->MinTime(2);

void BM_ReadInputs_MemoryServer(benchmark::State& state) {
    const Started server({MEMORY_SERVER}, false);
    readInputs(state, server.port());
}
BENCHMARK(BM_ReadInputs_MemoryServer)->UseRealTime()->MinTime(2);

void BM_ReadInputs_Pymodbus(benchmark::State& state) {
    const char* port = std::getenv("PYMODBUS_PORT");
    readInputs(state, port ? std::atoi(port) : 0);
}
BENCHMARK(BM_ReadInputs_Pymodbus)->UseRealTime()->MinTime(2);

} // namespace

BENCHMARK_MAIN();
