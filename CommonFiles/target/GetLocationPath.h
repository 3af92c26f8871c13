#pragma once

#include <QString>

namespace ado {
class Connection;
}

// The backslash path of a target location, root first ("Plant\Basin\Pump"), walking LOCATION's
// parent links on an open facility connection. "0", "" and "-1" give "". A failure is logged at
// level 0 and gives "". A loop in the parent links ends the walk where it would repeat.
QString GetLocationPath(const QString& locationId, ado::Connection& cn);
