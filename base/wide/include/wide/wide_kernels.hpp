// Wide and portable forms of the fast kernels (the periodogram, the
// phase-dispersion statistic, the singular value decomposition of the
// classic programs; the spectrum, the extraction's trigonometry and the
// Scargle amplitude of the modern one): where the wide forms are compiled
// and when they run, decided here for all of them.
//
// The wide forms use the x86 vector instructions (AVX, AVX2, AVX-512).
// They are compiled only for x86 processors, and not at all when the build
// asks for the portable forms alone (CMake option PORTABLE_KERNELS, which
// defines SUITE_PORTABLE_KERNELS); every other processor builds the
// portable forms only.  Where they are compiled, they run when the
// processor has the instructions and the tests have not ruled them out.  A
// wide form gives the same bits as its portable form (the build forbids
// contracting a multiply and an add into one rounding, and no form
// reorders a sum), so the choice changes the speed and never a result; the
// kernel tests run every form in turn to prove it.
//
// Three ways to write a wide form:
//   - explicit vector code (intrinsics) inside `#ifdef SUITE_WIDE_KERNELS`,
//     in functions marked __attribute__((target("avx"))), chosen by
//     wide_kernels(Wide::avx) (or marked target("avx2") where they need
//     AVX2's integer and blend instructions, chosen by
//     wide_kernels(Wide::avx2));
//   - a plain loop written once as an always-inline body (SUITE_KERNEL_BODY)
//     and called through avx2_or_portable<body>(...), which compiles it a
//     second time for AVX2 and picks one of the two at each call;
//   - the same body called through widest_form<body>(...), which compiles
//     it for the x86-64-v4 level (AVX-512), the x86-64-v3 level (AVX2) and
//     portably, and runs the widest the processor has.  The kernels of the
//     modern program take this way.
#pragma once

#if (defined(__x86_64__) || defined(__i386__)) && !defined(SUITE_PORTABLE_KERNELS)
#define SUITE_WIDE_KERNELS 1
#include <immintrin.h>
// The instruction-set levels need the compiler to name them (GCC does;
// elsewhere, as in the clang build of the fuzz targets, the bodies of
// widest_form run in their portable form).
#if !defined(__clang__)
#define SUITE_WIDE_LEVELS 1
#endif
#endif

// A kernel body that is compiled into each form that calls it.
#define SUITE_KERNEL_BODY [[gnu::always_inline]] inline

#include <utility>

namespace suite {

// The instructions a wide form needs: AVX, AVX2, or a whole x86-64 level
// (v3: AVX2 with FMA, BMI1 and BMI2, ...; v4: v3 with AVX-512 F, BW, CD,
// DQ and VL).
enum class Wide { avx, avx2, x86_64_v3, x86_64_v4 };

// The widest forms allowed to run: none but the portable ones, up to the
// x86-64-v3 level, or all the processor has.  For the tests that run every
// form of a kernel in turn.
enum class Forms { portable, up_to_v3, all };

namespace detail {
inline Forms allowed_forms = Forms::all;
}

inline void allow_kernel_forms(Forms forms) { detail::allowed_forms = forms; }

// The portable forms even where the wide ones could run (true), or all
// forms again (false).
inline void force_portable_kernels(bool portable) { allow_kernel_forms(portable ? Forms::portable : Forms::all); }

// Whether a wide form that needs the given instructions may run now.
inline bool wide_kernels(Wide need)
{
#ifdef SUITE_WIDE_KERNELS
    if (detail::allowed_forms == Forms::portable) return false;
    if (need == Wide::x86_64_v4 && detail::allowed_forms == Forms::up_to_v3) return false;
    static const bool avx = __builtin_cpu_supports("avx");
    static const bool avx2 = __builtin_cpu_supports("avx2");
#ifdef SUITE_WIDE_LEVELS
    static const bool v3 = __builtin_cpu_supports("x86-64-v3");
    static const bool v4 = __builtin_cpu_supports("x86-64-v4");
#else
    static const bool v3 = false, v4 = false;
#endif
    switch (need) {
    case Wide::avx: return avx;
    case Wide::avx2: return avx2;
    case Wide::x86_64_v3: return v3;
    case Wide::x86_64_v4: return v4;
    }
    return false;
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

#ifdef SUITE_WIDE_LEVELS
// The body compiled for the x86-64-v4 and x86-64-v3 levels: every function
// it calls is compiled into it, for the level, and its loops are vectorised
// for 512-bit or 256-bit registers.  No fused multiply-adds (the build
// forbids contraction): each product is rounded as in the portable form.
template <auto Body, class... Args>
[[gnu::target("arch=x86-64-v4"), gnu::noinline]] decltype(auto) run_x86_64_v4(Args&&... args)
{
    return Body(std::forward<Args>(args)...);
}

template <auto Body, class... Args>
[[gnu::target("arch=x86-64-v3"), gnu::noinline]] decltype(auto) run_x86_64_v3(Args&&... args)
{
    return Body(std::forward<Args>(args)...);
}
#endif

// Runs the body in the widest form that may run: x86-64-v4, x86-64-v3, or
// portable; returns what the body returns.  Arguments are forwarded as
// given.
template <auto Body, class... Args>
decltype(auto) widest_form(Args&&... args)
{
#ifdef SUITE_WIDE_LEVELS
    if (wide_kernels(Wide::x86_64_v4)) return run_x86_64_v4<Body>(std::forward<Args>(args)...);
    if (wide_kernels(Wide::x86_64_v3)) return run_x86_64_v3<Body>(std::forward<Args>(args)...);
#endif
    return Body(std::forward<Args>(args)...);
}

}  // namespace suite
