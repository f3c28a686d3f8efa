// Wide and portable forms of the fast kernels (the periodogram, the
// phase-dispersion statistic, the singular value decomposition): where the
// wide forms are compiled and when they run, decided here for all of them.
//
// The wide forms use the x86 vector instructions AVX and AVX2.  They are
// compiled only for x86 processors, and not at all when the build asks for
// the portable forms alone (CMake option PORTABLE_KERNELS, which defines
// SUITE_PORTABLE_KERNELS); every other processor builds the portable forms
// only.  Where they are compiled, they run when the processor has the
// instructions and the portable forms are not forced.  A wide form gives
// the same bits as its portable form, so the choice changes the speed and
// never a result; the kernel tests force each path in turn to prove it.
//
// Two ways to write a wide form:
//   - explicit vector code (intrinsics) inside `#ifdef SUITE_WIDE_KERNELS`,
//     in functions marked __attribute__((target("avx"))), chosen by
//     wide_kernels(Wide::avx) (or marked target("avx2") where they need
//     AVX2's integer and blend instructions, chosen by
//     wide_kernels(Wide::avx2));
//   - a plain loop written once as an always-inline body (SUITE_KERNEL_BODY)
//     and called through avx2_or_portable<body>(...), which compiles it a
//     second time for AVX2 and picks one of the two at each call.
#pragma once

#if (defined(__x86_64__) || defined(__i386__)) && !defined(SUITE_PORTABLE_KERNELS)
#define SUITE_WIDE_KERNELS 1
#include <immintrin.h>
#endif

// A kernel body that is compiled into each form that calls it.
#define SUITE_KERNEL_BODY [[gnu::always_inline]] inline

#include <utility>

namespace suite {

// The instructions a wide form needs.
enum class Wide { avx, avx2 };

namespace detail {
inline bool portable_forced = false;
}

// The portable forms even where the wide ones could run (for the tests
// that compare both paths with the reference forms).
inline void force_portable_kernels(bool portable) { detail::portable_forced = portable; }

// Whether a wide form that needs the given instructions may run now.
inline bool wide_kernels(Wide need)
{
#ifdef SUITE_WIDE_KERNELS
    if (detail::portable_forced) return false;
    static const bool avx = __builtin_cpu_supports("avx");
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return need == Wide::avx ? avx : avx2;
#else
    (void)need;
    return false;
#endif
}

#ifdef SUITE_WIDE_KERNELS
// The body compiled for AVX2 (without fused multiply-adds: the build
// forbids contraction, so every product is rounded as in the portable form).
template <auto Body, class... Args>
[[gnu::target("avx2"), gnu::noinline]] void run_avx2(Args&&... args)
{
    Body(std::forward<Args>(args)...);
}
#endif

// Runs the body in its AVX2 form where it may run, else in its portable form.
// Arguments are forwarded as given, so a kernel may take its workspace by
// reference.
template <auto Body, class... Args>
void avx2_or_portable(Args&&... args)
{
#ifdef SUITE_WIDE_KERNELS
    if (wide_kernels(Wide::avx2)) {
        run_avx2<Body>(std::forward<Args>(args)...);
        return;
    }
#endif
    Body(std::forward<Args>(args)...);
}

}  // namespace suite
