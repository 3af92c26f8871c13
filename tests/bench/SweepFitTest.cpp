#include "bench/SweepFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using bench::SweepFit;
using bench::SweepPoint;

namespace {

// The two shapes the harness sweeps: 1/2/4/8 with x1 and x8 at the ends, and the slot families
// (daily, 4 h, 1 h, 30 min, 15 min over 90 days of 10 variables) whose x8 pair is 4 h and 30 min.
struct Geometry {
    const char* name;
    std::vector<double> quantities;
    double small, large;
};

const std::vector<Geometry>& geometries() {
    static const std::vector<Geometry> g{{"1/2/4/8", {1, 2, 4, 8}, 1, 8},
                                         {"slots", {900, 5400, 21600, 43200, 86400}, 5400, 43200}};
    return g;
}

SweepFit fitOf(const Geometry& g, const std::function<double(double)>& seconds,
              SweepFit::Weighting w = SweepFit::Weighting::Relative) {
    std::vector<SweepPoint> points;
    for (double x : g.quantities)
        points.push_back({x, seconds(x)});
    return SweepFit::fit(points, w);
}

double ratioOf(const Geometry& g, const std::function<double(double)>& seconds,
               SweepFit::Weighting w = SweepFit::Weighting::Relative) {
    return fitOf(g, seconds, w).ratio(seconds(g.small), seconds(g.large));
}

} // namespace

TEST(SweepFit, ALinearCostGivesEightWhateverItsFixedCost) {
    for (const Geometry& g : geometries())
        for (double fixed : {0.0, 0.016, 0.075, 0.5}) {
            const auto t = [&](double x) { return fixed + 1.25 * x / g.large; };
            EXPECT_NEAR(fitOf(g, t).fixedCost(), fixed, 1e-9) << g.name;
            EXPECT_NEAR(ratioOf(g, t), 8.0, 1e-9) << g.name << " fixed " << fixed;
        }
}

TEST(SweepFit, ACostGrowingFasterOrSlowerThanLinearLeavesTheBand) {
    for (const Geometry& g : geometries()) {
        const double s = g.large;
        EXPECT_GT(ratioOf(g, [&](double x) { return 0.07 + (x / s) * (x / s); }), 9.5) << g.name;
    }
    const Geometry& slots = geometries()[1];
    const double s = slots.large;
    EXPECT_GT(ratioOf(slots, [&](double x) { return 0.07 + 0.5 * x / s + 0.5 * (x / s) * (x / s); }), 9.5);
    EXPECT_LT(ratioOf(slots, [&](double x) { return 0.07 + std::sqrt(x / s); }), 6.5);
}

// Why the fit weighs runs by their relative error: a run a share slower than it should be, as a
// busy machine makes any run, enters the fit; where it is not one of the x1/x8 pair it must not
// throw a linear sweep out of the band. With equal weights the longest run's absolute error sets
// the intercept; a 30% slow 15-minute run took the slots sweep to 5.0.
TEST(SweepFit, ASlowRunOutsideTheX8PairKeepsALinearSweepInTheBand) {
    for (const Geometry& g : geometries())
        for (double slow : g.quantities) {
            if (slow == g.small || slow == g.large) continue;
            const auto t = [&](double x) { return (0.075 + 1.25 * x / g.large) * (x == slow ? 1.3 : 1.0); };
            const double r = ratioOf(g, t);
            EXPECT_GE(r, 6.5) << g.name << ", run " << slow << " slow";
            EXPECT_LE(r, 9.5) << g.name << ", run " << slow << " slow";
        }
    const Geometry& slots = geometries()[1];
    const auto lastSlow = [&](double x) { return (0.075 + 1.25 * x / slots.large) * (x == 86400 ? 1.3 : 1.0); };
    EXPECT_LT(ratioOf(slots, lastSlow, SweepFit::Weighting::Equal), 6.5);
}

TEST(SweepFit, FewerThanTwoQuantitiesHaveNoLine) {
    EXPECT_TRUE(std::isnan(SweepFit::fit({}).fixedCost()));
    EXPECT_TRUE(std::isnan(SweepFit::fit({{4, 1.0}}).fixedCost()));
    EXPECT_TRUE(std::isnan(SweepFit::fit({{4, 1.0}, {4, 1.1}}).fixedCost()));
    EXPECT_TRUE(std::isnan(SweepFit::fit({{1, 1.0}, {8, std::nan("")}}).fixedCost()));
}
