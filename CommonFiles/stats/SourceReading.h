#pragma once

#include "CommonFiles/foundation/Variant.h"

// One reading of a source signal: its time stamp (an OLE day count), the value as the source
// delivered it, and the value of the filter signal stamped at exactly the same instant (empty
// when there is none).
struct SourceReading {
    double TimeDate = 0.0;
    Variant Data;
    Variant FilterResult;
};
