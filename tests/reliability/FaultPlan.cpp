#include "tests/reliability/FaultPlan.h"

#include "platform/ado/AdoTypes.h"

namespace reliability {

FaultPlan::FaultPlan() {
    ado::setFaultHook([this](const ado::CallInfo& call) { onCall(call); });
}

FaultPlan::~FaultPlan() {
    ado::setFaultHook({});
}

void FaultPlan::countOnly() {
    mode_ = Mode::Count;
    sourceCalls_ = targetCalls_ = injected_ = 0;
    firstInjected_.clear();
}

void FaultPlan::failOnce(Side side, int n) {
    countOnly();
    mode_ = Mode::Once;
    side_ = side;
    n_ = n;
}

void FaultPlan::failFrom(Side side, int n) {
    countOnly();
    mode_ = Mode::From;
    side_ = side;
    n_ = n;
}

void FaultPlan::onCall(const ado::CallInfo& call) {
    const Side side =
        call.catalog.compare(QLatin1String("VIRev"), Qt::CaseInsensitive) == 0 ? Side::Source : Side::Target;
    const int n = side == Side::Source ? ++sourceCalls_ : ++targetCalls_;
    if (mode_ == Mode::Count || side != side_) return;
    if (!(mode_ == Mode::Once ? n == n_ : n >= n_)) return;
    if (injected_++ == 0) {
        static const char* const kinds[] = {"open", "statement", "procedure"};
        firstInjected_ = QString::fromLatin1(kinds[call.kind]) + QStringLiteral(": ") + call.text.left(120);
    }
    throw ado::AdoError(ado::LayerError::ConnectionFailed,
                        QStringLiteral("Injected failure of %1 call %2").arg(sideName(side)).arg(n));
}

} // namespace reliability
