// bench_measure RUNS PROGRAM [ARGUMENT...]
//
// Runs the program once to warm the page cache, then RUNS times with its
// output sent to the null device, and prints the medians of the wall time and
// of the peak resident memory the system reports for the child:
//
//   wall_ms=12.345 rss_kib=4321
//
// Exits 1 when any run fails, naming its status.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

struct Run {
    double milliseconds;
    long peakKib;
};

// One run of the program; false when it could not start or did not exit 0.
bool RunOnce(char** argv, Run* run)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto begin = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "bench_measure: cannot run %s: %s\n", argv[0], std::strerror(spawned));
        return false;
    }
    int status = 0;
    rusage usage = {};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("bench_measure: wait4");
            return false;
        }
    }
    const auto end = std::chrono::steady_clock::now();
    run->milliseconds = std::chrono::duration<double, std::milli>(end - begin).count();
    run->peakKib = usage.ru_maxrss; // kilobytes on Linux
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_measure: %s ended with status %d\n", argv[0],
                     WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        return false;
    }
    return true;
}

template <typename T>
T Median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc >= 3 ? std::atoi(argv[1]) : 0;
    if (runs < 1) {
        std::fprintf(stderr, "usage: bench_measure RUNS PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    Run run = {};
    if (!RunOnce(argv + 2, &run)) // warms the page cache; not counted
        return 1;
    std::vector<double> times;
    std::vector<long> peaks;
    for (int i = 0; i < runs; ++i) {
        if (!RunOnce(argv + 2, &run))
            return 1;
        times.push_back(run.milliseconds);
        peaks.push_back(run.peakKib);
    }
    std::printf("wall_ms=%.3f rss_kib=%ld\n", Median(times), Median(peaks));
    return 0;
}
