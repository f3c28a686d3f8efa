// The largest run discriminant accepts: l from 0 to 8, kind "all" (45
// couples), 17 inclinations x 20 vp x 11 vomega x 5 sigma = 18700 grid
// points per couple.  Times the whole program on it, the cached
// discriminant alone over the same grid, and the straightforward reference
// on a few grid points of every couple, and prints the cost per grid point
// (over all 45 couples) of both forms and their ratio.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/constants.hpp"
#include "common/io.hpp"
#include "discriminant/discriminant.hpp"
#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"
#include "support/discriminant_reference.hpp"
#include "discriminant/runconfig.hpp"

using namespace discriminant;
using Clock = std::chrono::steady_clock;

namespace {

const Observed observed{{3.1, 9.5, 2.0, 150.0, 20.0, 10.0, 300.0}, {0.2, 1.0, 0.5, 10.0, 5.0, 3.0, 40.0}};

const char* const config =
    "h\nh\nh\nh\n'largest run'\nh\nh\nnote 1\nnote 2\nrange of l-values\n0 8\nall\nh\nh\nh\nh\nh\n0\nh\nh\n"
    "note 3\nnote 4\ngrid\n10. 90. 5.\n2. 40. 2.\n0. 50. 5.\n2. 18. 4.\nh\nh\nnote 5\nnote 6\nlimb\n0.36\n"
    "mode 1\nlargest.out\n7.5\n0.01\n3.1 0.2\n9.5 1.0\n2.0 0.5\n150. 10.\n20. 5.\n10. 3.\n300. 40.\n";

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The whole program in a scratch folder, its screen sent to /dev/null.
double time_program()
{
    const std::filesystem::path home = std::filesystem::current_path();
    const std::filesystem::path work = std::filesystem::temp_directory_path() / "discriminant_grid_bench";
    std::filesystem::create_directories(work);
    std::filesystem::current_path(work);
    std::FILE* f = std::fopen("discriminant.in", "w");
    std::fputs(config, f);
    std::fclose(f);
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    const auto t0 = Clock::now();
    const int status = common::run_main(run);
    const auto t1 = Clock::now();
    std::fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
    std::filesystem::current_path(home);
    std::filesystem::remove_all(work);
    if (status != 0) std::printf("program ended with status %d\n", status);
    return seconds(t0, t1);
}

// The discriminant over points_per_couple grid points of each of the 45
// couples; sum of the results so that nothing is optimised away.
template <typename F>
double sweep(F form, int nincl, int nvp, int nvomega, int nsigma, double& checksum)
{
    const auto t0 = Clock::now();
    for (int l = 0; l <= 8; ++l)
        for (int m = 0; m <= l; ++m)
            for (int ivp = 0; ivp < nvp; ++ivp)
                for (int ii = 0; ii < nincl; ++ii)
                    for (int ivo = 0; ivo < nvomega; ++ivo)
                        for (int is = 0; is < nsigma; ++is)
                            checksum += form({.l = l, .m = m},
                                             {.incl = (10 + 5 * ii) * suite::pi / 180,
                                              .vp = 2.0 + 2 * ivp,
                                              .vomega = 5.0 * ivo,
                                              .sigma = 2.0 + 4 * is},
                                             observed);
    return seconds(t0, Clock::now());
}

}  // namespace

int main()
{
    const double program = time_program();
    const int points = 17 * 20 * 11 * 5;

    gauleg();
    alfa.K = 0.01;
    limbdarkening.beta = 0.36 / (1 - 0.36);
    double fast_sum = 0, slow_sum = 0;
    DiscriminantCache cache(8);
    const auto cached = [&](const Couple& couple, const Gridpoint& point, const Observed& o) {
        return discriminant::discriminant(cache, couple, point, o);
    };
    const double fast = sweep(cached, 17, 20, 11, 5, fast_sum);
    const int small = 2 * 1 * 2 * 1;  // 2 inclinations x 1 vp x 2 vomega x 1 sigma
    const double slow = sweep(discriminant_reference, 2, 1, 2, 1, slow_sum);

    const double fast_point = fast / points;
    const double slow_point = slow / small;
    const double program_point = program / points;
    std::printf("largest run: 45 couples x %d grid points\n", points);
    std::printf("  whole program (search, listings, tables): %8.3f s  (%.3f us per grid point)\n", program,
                program_point * 1e6);
    std::printf("  cached discriminant alone:                %8.3f s  (%.3f us per grid point)\n", fast,
                fast_point * 1e6);
    std::printf("reference form on %d grid points:           %8.3f s  (%.3f ms per grid point)\n", small, slow,
                slow_point * 1e3);
    std::printf("  reference over the whole grid would take %.0f s\n", slow_point * points);
    std::printf("speed-up per grid point: %.0fx (cached discriminant), %.0fx (whole program)\n", slow_point / fast_point,
                slow_point / program_point);
    std::printf("(checksums %.6g %.6g)\n", fast_sum, slow_sum);
    return 0;
}
