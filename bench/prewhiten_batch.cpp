// Many stars with prewhiten, measured in one run:
//
//   1. speed: `stars` synthetic stars of `points` points each (5 to 15
//      sinusoids, white noise, three gaps; 27 days as a TESS sector) done by
//      one call of the program, with its pictures;
//   2. shards: the same stars split into 4 by --shard i/4, one call each,
//      give the same files byte for byte;
//   3. a call stopped by SIGTERM part-way, then run again with --resume,
//      ends with every star's files whole and identical to the uninterrupted
//      call's, and no temporary file left.
//
// Wall-clock seconds (the machine may be shared: the load average is
// printed before and after each call).
//
//   prewhiten_batch [stars [points [folder]]]   (default 200, 20000, a new
//                                                 folder under /tmp, removed
//                                                 at the end)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/synthetic_curves.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string load_average()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return one + " " + five;
}

// One star's light curve as a text file of time and value.
void write_star(const fs::path& file, int index, std::size_t points)
{
    synthetic::Recipe recipe;
    recipe.n = points;
    recipe.span = 27.0;
    recipe.gaps = true;
    recipe.white = 1.0;
    recipe.seed = 1000 + static_cast<unsigned>(index);
    std::mt19937_64 gen(recipe.seed);
    synthetic::add_random_signals(recipe, 5 + index % 11, 0.5, 40.0, 8.0, 60.0, gen);
    const synthetic::Curve curve = synthetic::make(recipe);
    std::string text = "time value\n";
    char number[32];
    for (std::size_t i = 0; i < curve.times.size(); ++i) {
        text.append(number, std::to_chars(number, number + sizeof number, curve.times[i]).ptr);
        text += ' ';
        text.append(number, std::to_chars(number, number + sizeof number, curve.values[i]).ptr);
        text += '\n';
    }
    std::ofstream(file, std::ios::binary) << text;
}

// Starts the program with the arguments, its standard output and error to
// `log`; returns its process id.
pid_t start(const std::vector<std::string>& args, const fs::path& log)
{
    std::vector<char*> argv;
    std::string program = PREWHITEN_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::perror(PREWHITEN_PROGRAM);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status, or 128 + the signal that ended it.
int finish(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<std::string> names_in(const fs::path& folder)
{
    std::vector<std::string> names;
    if (fs::is_directory(folder))
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string content(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t tables_in(const fs::path& folder)
{
    std::size_t n = 0;
    for (const std::string& name : names_in(folder))
        if (name.ends_with(".frequencies.csv")) ++n;
    return n;
}

// Whether two folders hold the same files, byte for byte; the first
// difference is printed.
bool same_files(const fs::path& a, const fs::path& b)
{
    const std::vector<std::string> na = names_in(a), nb = names_in(b);
    if (na != nb) {
        std::printf("    the folders hold different files (%zu and %zu)\n", na.size(), nb.size());
        return false;
    }
    for (const std::string& name : na)
        if (content(a / name) != content(b / name)) {
            std::printf("    %s differs\n", name.c_str());
            return false;
        }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int stars = argc > 1 ? std::atoi(argv[1]) : 200;
    const std::size_t points = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 20000;
    const bool own_folder = argc <= 3;
    fs::path top = own_folder ? fs::temp_directory_path() / ("prewhiten_batch." + std::to_string(getpid())) : argv[3];
    fs::create_directories(top / "stars");

    std::printf("prewhiten on %d synthetic stars of %zu points (5 to 15 sinusoids, 27 d with gaps), %u threads\n",
                stars, points, std::thread::hardware_concurrency());
    std::vector<std::string> files;
    for (int i = 1; i <= stars; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "star%04d.dat", i);
        write_star(top / "stars" / name, i, points);
        files.push_back((top / "stars" / name).string());
    }
    auto call = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {"-o", (top / out).string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), files.begin(), files.end());
        return args;
    };
    bool good = true;

    // 1. One call.
    std::printf("\n1. one call (load average before: %s)\n", load_average().c_str());
    auto t0 = std::chrono::steady_clock::now();
    int status = finish(start(call("all", {}), top / "all.log"));
    const double all_seconds = seconds_since(t0);
    std::printf("   %d stars in %.1f s (%.2f s a star), status %d, %zu tables (load average after: %s)\n", stars,
                all_seconds, all_seconds / stars, status, tables_in(top / "all"), load_average().c_str());
    good = good && status == 0 && tables_in(top / "all") == static_cast<std::size_t>(stars);

    // 2. Four shards, one after another.
    std::printf("\n2. four shards (load average before: %s)\n", load_average().c_str());
    t0 = std::chrono::steady_clock::now();
    for (int i = 1; i <= 4; ++i) {
        status = finish(start(call("shards", {"--shard", std::to_string(i) + "/4"}), top / "shard.log"));
        good = good && status == 0;
    }
    const bool shards_same = same_files(top / "all", top / "shards");
    std::printf("   %.1f s in all; the files are %s those of the one call\n", seconds_since(t0),
                shards_same ? "byte for byte" : "NOT");
    good = good && shards_same;

    // 3. Stopped by SIGTERM when a third of the tables are written, then
    //    resumed.
    std::printf("\n3. SIGTERM part-way, then --resume\n");
    const pid_t pid = start(call("resumed", {}), top / "killed.log");
    while (tables_in(top / "resumed") < static_cast<std::size_t>(stars) / 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // into the middle of a star
    kill(pid, SIGTERM);
    status = finish(pid);
    std::size_t temporaries = 0;
    for (const std::string& name : names_in(top / "resumed")) temporaries += name.find(".tmp") != std::string::npos;
    std::printf("   stopped with status %d after %zu tables; %zu temporary files left\n", status,
                tables_in(top / "resumed"), temporaries);
    t0 = std::chrono::steady_clock::now();
    status = finish(start(call("resumed", {"--resume"}), top / "resume.log"));
    const bool resumed_same = same_files(top / "all", top / "resumed");
    std::printf("   resumed in %.1f s, status %d; the files are %s those of the one call\n", seconds_since(t0), status,
                resumed_same ? "byte for byte" : "NOT");
    good = good && temporaries == 0 && status == 0 && resumed_same;

    std::printf("\n%s\n", good ? "all checks passed" : "SOME CHECKS FAILED");
    if (own_folder) fs::remove_all(top);
    return good ? 0 : 1;
}
