#include "bench/SweepFit.h"

#include <cmath>

namespace bench {

SweepFit SweepFit::fit(const std::vector<SweepPoint>& points, Weighting weighting) {
    double w = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const SweepPoint& p : points) {
        if (std::isnan(p.quantity) || std::isnan(p.seconds) || p.seconds <= 0) continue;
        const double k = weighting == Weighting::Relative ? 1.0 / (p.seconds * p.seconds) : 1.0;
        w += k;
        sx += k * p.quantity;
        sy += k * p.seconds;
        sxx += k * p.quantity * p.quantity;
        sxy += k * p.quantity * p.seconds;
    }
    const double denominator = w * sxx - sx * sx;
    if (w == 0 || !(std::fabs(denominator) > 1e-12 * w * sxx)) return SweepFit(std::nan(""));
    const double slope = (w * sxy - sx * sy) / denominator;
    return SweepFit((sy - slope * sx) / w);
}

} // namespace bench
