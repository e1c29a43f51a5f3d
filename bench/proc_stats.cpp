// Times whole processes: runs each program RUNS times, taking turns so that
// machine noise falls on all alike, and prints for each the median wall time
// and the median peak resident memory.
//
//   proc_stats RUNS PROGRAM...     prints "PROGRAM MEDIAN_MS PEAK_RSS_KIB" lines
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Run {
    double ms;
    long peakKiB;
};

Run runOnce(const char* program) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (pid == 0) {
        execl(program, program, static_cast<char*>(nullptr));
        std::perror(program);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0) {
        std::perror("wait4");
        std::exit(2);
    }
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "proc_stats: %s failed (status %d)\n", program, status);
        std::exit(1);
    }
    return {std::chrono::duration<double, std::milli>(end - start).count(), usage.ru_maxrss};
}

template <typename T> T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: proc_stats RUNS PROGRAM...\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const int programs = argc - 2;
    std::vector<std::vector<double>> ms(programs);
    std::vector<std::vector<long>> kib(programs);
    for (int p = 0; p < programs; ++p)
        runOnce(argv[2 + p]); // warm the page cache before measuring
    for (int r = 0; r < runs; ++r)
        for (int p = 0; p < programs; ++p) {
            const Run run = runOnce(argv[2 + p]);
            ms[p].push_back(run.ms);
            kib[p].push_back(run.peakKiB);
        }
    for (int p = 0; p < programs; ++p)
        std::printf("%s %.2f %ld\n", argv[2 + p], median(ms[p]), median(kib[p]));
    return 0;
}
