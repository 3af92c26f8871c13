#pragma once

#include "tests/reliability/ImportOracle.h"
#include "tests/reliability/ImportScenario.h"

#include <QString>
#include <QStringList>

#include <functional>

// Steps a fault through every call of a whole service import of the scenario: for each side
// (source, target), each way of failing (the Nth call once; every call from the Nth on) and each
// N up to the number of calls a clean import makes on that side, the databases are reset, the
// import runs with the fault, and the invariants are checked right away (a failed run must not
// have recorded a last-run date past what it wrote); then a clean import runs, which must
// succeed, and the invariants are checked again.
namespace reliability {

struct CampaignResult {
    int sourceCalls = 0; // of a clean import
    int targetCalls = 0;
    int tried = 0;
    int survived = 0;
    int violations = 0;
    int rowsLost = 0;
    int rowsDuplicated = 0;
    QStringList failures; // the first few, with what was hit
};

struct CampaignOptions {
    double now = 0; // the clock during every import
    int stride = 1; // every stride-th call (1: all)
    int offset = 0; // first call = 1 + offset
    std::function<void(const QString&)> progress;
};

CampaignResult runFaultCampaign(ImportScenario& scenario, const CampaignOptions& options);

} // namespace reliability
