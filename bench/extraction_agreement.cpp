// The fast fit against the exact one (the direct assembly) on the bundled
// stars, through whole runs of prewhiten with its defaults: for each star
// the tables of --fit fast and --fit exact, which must list the same
// frequencies in the same order with the same stop, frequencies within
// 1e-9 c/d and amplitudes and phases within 1e-9 (relative; phases in
// cycles).  Also the time of each whole process.
//
//   extraction_agreement
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Row {
    double frequency = 0.0, amplitude = 0.0, phase = 0.0;
};

struct Table {
    std::string stop;
    std::vector<Row> rows;
};

// The frequencies table a run wrote: the stop from its comment line, then
// frequency, amplitude and phase of each row.
Table read_table(const fs::path& file)
{
    Table t;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("#", 0) == 0) {
            const std::size_t at = line.find("stop=");
            if (at != std::string::npos) t.stop = line.substr(at + 5, line.find(',', at) - at - 5);
            continue;
        }
        if (line.rfind("id,", 0) == 0) continue;
        std::vector<std::string> cells;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, ',');) cells.push_back(cell);
        if (cells.size() < 6) continue;
        t.rows.push_back({std::stod(cells[1]), std::stod(cells[3]), std::stod(cells[5])});
    }
    return t;
}

// A whole prewhiten process; its wall time, NAN when it failed.
double run(std::vector<std::string> words)
{
    words.insert(words.begin(), PREWHITEN_PROGRAM);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    double wall = NAN;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    posix_spawn_file_actions_destroy(&actions);
    return wall;
}

struct Star {
    const char* file;
    std::vector<std::string> options;
};

}  // namespace

int main()
{
    const fs::path examples = fs::path(SOURCE_DIR) / "examples";
    const fs::path folder = fs::temp_directory_path() / ("extraction_agreement_" + std::to_string(getpid()));
    const std::vector<Star> stars = {
        {"kic7917485_kepler_lc.txt", {"--unit", "mag"}},
        {"hlsp_tess-spoc_tess_phot_0000000022876651-s0058_tess_v1_lc.fits", {"--unit", "flux"}},
        {"star.dat", {"--unit", "mag"}},
        {"star.dat", {"--unit", "mag", "--weights"}},
        {"vxhya.dat", {"--unit", "mag"}},
        {"ster2.dat", {}},
    };
    int failures = 0;
    std::printf("%-66s %5s %6s  %9s %9s %9s  %8s %8s\n", "star (options)", "freqs", "stop", "df c/d", "dA rel",
                "dphi", "fast s", "exact s");
    for (const Star& star : stars) {
        Table tables[2];
        double seconds[2];
        for (int m = 0; m < 2; ++m) {
            const fs::path out = folder / (m == 0 ? "fast" : "exact");
            fs::remove_all(out);
            std::vector<std::string> words = star.options;
            for (const std::string& w : std::vector<std::string>{"--plot", "none", "--fit", m == 0 ? "fast" : "exact",
                                                                 "-o", out.string(), (examples / star.file).string()})
                words.push_back(w);
            seconds[m] = run(words);
            const std::string stem = fs::path(star.file).stem().string();
            tables[m] = read_table(out / (stem + ".frequencies.csv"));
        }
        const Table &f = tables[0], &e = tables[1];
        bool same = f.stop == e.stop && f.rows.size() == e.rows.size() && !std::isnan(seconds[0] + seconds[1]);
        double df = 0.0, da = 0.0, dphi = 0.0;
        for (std::size_t i = 0; same && i < f.rows.size(); ++i) {
            df = std::max(df, std::fabs(f.rows[i].frequency - e.rows[i].frequency));
            da = std::max(da, std::fabs(f.rows[i].amplitude - e.rows[i].amplitude) / e.rows[i].amplitude);
            const double d = std::fabs(f.rows[i].phase - e.rows[i].phase);
            dphi = std::max(dphi, std::min(d, 1.0 - d));
        }
        same = same && df <= 1e-9 && da <= 1e-9 && dphi <= 1e-9;
        if (!same) ++failures;
        std::string name = star.file;
        for (const std::string& o : star.options) name += " " + o;
        std::printf("%-66.66s %5zu %6.6s  %9.1e %9.1e %9.1e  %8.2f %8.2f  %s\n", name.c_str(), f.rows.size(),
                    f.stop.c_str(), df, da, dphi, seconds[0], seconds[1], same ? "same" : "DIFFERENT");
        std::fflush(stdout);
    }
    fs::remove_all(folder);
    std::printf("%d of %zu runs differ\n", failures, stars.size());
    return failures == 0 ? 0 : 1;
}
