#pragma once

#include <vector>

namespace bench {

// One run of a scaling sweep: the quantity the sweep grows and the run's time.
struct SweepPoint {
    double quantity = 0;
    double seconds = 0;
};

// A sweep grows one thing while the rest stays; what the rest costs (starting the program, and in
// the slots sweep reading the fixed readings) is the intercept of the line through the sweep's
// runs, and the sweep's ratio compares the times above it: a linear cost gives exactly 8, one that
// grows faster gives more, one that grows slower less.
//
// The line is fitted on relative errors (each run weighted by 1/t^2), because on a shared machine
// a run's noise is a share of its time: an ordinary fit let the longest run's few hundred
// milliseconds of noise set the intercept, and with it the ratio of a sweep whose smallest run is
// half fixed cost.
class SweepFit {
public:
    enum class Weighting { Relative, Equal };

    // The fixed cost is NaN with fewer than two distinct quantities.
    static SweepFit fit(const std::vector<SweepPoint>& points, Weighting weighting = Weighting::Relative);

    double fixedCost() const { return fixedCost_; }
    // (large - fixed cost) / (small - fixed cost).
    double ratio(double smallSeconds, double largeSeconds) const {
        return (largeSeconds - fixedCost_) / (smallSeconds - fixedCost_);
    }

private:
    explicit SweepFit(double fixedCost) : fixedCost_(fixedCost) {}
    double fixedCost_;
};

} // namespace bench
