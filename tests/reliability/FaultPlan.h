#pragma once

#include "platform/ado/FaultHook.h"

#include <QString>
#include <QStringList>

// Makes calls of the database layer fail on purpose, through the layer's test hook, the way a
// lost server or a failing statement would: every Open, statement and procedure call is counted
// per side (the source database VIRev, or the target), and the plan fails the Nth call of a side
// once, or every call of that side from the Nth on. Installed while the object lives.
namespace reliability {

class FaultPlan {
public:
    enum class Side { Source, Target };
    enum class Mode { Count, Once, From };

    FaultPlan();
    ~FaultPlan();
    FaultPlan(const FaultPlan&) = delete;
    FaultPlan& operator=(const FaultPlan&) = delete;

    // Counts only (how many calls a whole import makes on each side).
    void countOnly();
    void failOnce(Side side, int n);
    void failFrom(Side side, int n);
    // No more failures from now on; counting goes on.
    void stop() { mode_ = Mode::Count; }

    int calls(Side side) const { return side == Side::Source ? sourceCalls_ : targetCalls_; }
    int injected() const { return injected_; }
    // What the first injected failure hit: "statement: SELECT ...".
    QString firstInjected() const { return firstInjected_; }

    static QString sideName(Side side) {
        return side == Side::Source ? QStringLiteral("source") : QStringLiteral("target");
    }
    static QString modeName(Mode mode) {
        return mode == Mode::Once   ? QStringLiteral("once")
               : mode == Mode::From ? QStringLiteral("from")
                                    : QStringLiteral("count");
    }

private:
    void onCall(const ado::CallInfo& call);

    Mode mode_ = Mode::Count;
    Side side_ = Side::Target;
    int n_ = 0;
    int sourceCalls_ = 0;
    int targetCalls_ = 0;
    int injected_ = 0;
    QString firstInjected_;
};

} // namespace reliability
