// Whole runs of the built programs for the benchmarks, and how many cores the host lends: each
// run started with posix_spawn, its output thrown away, reaped with wait4 for its wall time and
// minor page faults.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace vorn::bench {

// pallimor-cli beside the benchmarks' folder.
inline std::string CliPath() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return (exe.parent_path().parent_path() / "pallimor-cli").string();
}

// Closes the spawn attributes it owns.
struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

struct RunResult {
    bool ok = false;
    double seconds = 0;
    long minorFaults = 0;
};

// Runs the program args[0] with args, its output thrown away, and waits for it.
inline RunResult RunProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    SpawnActions files;
    posix_spawn_file_actions_addopen(&files.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files.actions, 2, "/dev/null", O_WRONLY, 0);
    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &files.actions, nullptr, argv.data(), environ) != 0) return result;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return result;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.minorFaults = usage.ru_minflt;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

// A folder of its own for what a run writes, removed with everything in it.
struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        char name[] = "/tmp/pallimor-bench-XXXXXX";
        if (mkdtemp(name)) path = name;
    }
    ~TempFolder() {
        std::error_code error;
        if (!path.empty()) std::filesystem::remove_all(path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
};

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// How many of two cores the host lends right now: the same arithmetic loop timed alone and then
// on two threads at once, twice its time over the time of the pair (2.0 on an idle machine, less
// where other guests take a share). The median of five tries.
inline double LentCores() {
    const auto spin = [] {
        std::uint64_t x = 1;
        for (int i = 0; i < 50'000'000; ++i) {
            x = x * 6364136223846793005ULL + 1442695040888963407ULL;
            asm volatile("" : "+r"(x));
        }
    };
    const auto timed = [](auto&& work) {
        const auto start = std::chrono::steady_clock::now();
        work();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::vector<double> lent;
    for (int k = 0; k < 5; ++k) {
        const double alone = timed(spin);
        const double pair = timed([&] {
            std::thread other(spin);
            spin();
            other.join();
        });
        lent.push_back(pair > 0 ? 2 * alone / pair : 0);
    }
    return Median(lent);
}

} // namespace vorn::bench
