#include "CommonFiles/foundation/CpuState.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace {

__attribute__((target("avx"))) void zeroUpper() {
    _mm256_zeroupper();
}

// The compiler's check includes the operating system's support of the AVX state, without which
// the instruction would fault.
bool hasAvx() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return has;
}

} // namespace

void ClearVectorUpperState() {
    if (hasAvx()) zeroUpper();
}
#else
void ClearVectorUpperState() {}
#endif
