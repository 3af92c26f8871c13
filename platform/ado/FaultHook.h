#pragma once

#include <QString>

#include <functional>

// Test-only injection point: reliability tests install a hook to make a chosen call fail as if
// the engine had failed. Production code never installs one; the unset hook costs one branch per
// call.
namespace ado {

struct CallInfo {
    enum Kind { Open, Statement, Procedure };
    QString dataSource; // the connection string's Data Source as written
    QString catalog;    // its Initial Catalog (may be empty)
    Kind kind = Statement;
    QString text; // SQL text, procedure name, or the connection string for Open
};

// The hook runs before every Open, SQL statement and procedure call; it may throw AdoError to
// simulate a failure (the layer then records it in the connection's Errors() as usual).
// An empty function removes it.
void setFaultHook(std::function<void(const CallInfo&)> hook);

} // namespace ado
