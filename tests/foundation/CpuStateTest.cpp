#include "CommonFiles/foundation/CpuState.h"

#include <QHash>
#include <QString>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

#if defined(__x86_64__)
// The processor's XINUSE bitmap (XGETBV with ECX=1); bit 2 is "upper halves of ymm0-15 in use".
bool canReadStateInUse() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx")) return false;
    std::uint32_t a, b, c, d;
    __asm__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(0xD), "c"(1));
    return (a & 4) != 0;
}

bool upperStateDirty() {
    std::uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1));
    return (lo & 4) != 0;
}

TEST(CpuState, ClearsTheUpperHalvesLeftDirty) {
    if (!canReadStateInUse()) GTEST_SKIP() << "the processor does not report its AVX state";
    // Dirtied the way library code does it: a 256-bit register written, no vzeroupper after.
    __asm__ volatile("vpcmpeqd %%ymm0, %%ymm0, %%ymm0" ::: "xmm0");
    ASSERT_TRUE(upperStateDirty());
    ClearVectorUpperState();
    EXPECT_FALSE(upperStateDirty());

    // What left it dirty in the import: Qt's seeded hash of a long text. Where it does, the
    // clearing must undo it too.
    QHash<QString, int> table;
    table.insert(QStringLiteral("select count(id) from approvalini"), 1);
    ClearVectorUpperState();
    EXPECT_FALSE(upperStateDirty());
}
#endif

} // namespace
