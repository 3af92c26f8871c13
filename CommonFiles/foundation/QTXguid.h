#pragma once

#include <QString>

class QTXguid {
public:
    // A new identifier in the 8-4-4-4-12 hexadecimal form, upper case, without braces.
    static QString GetNewGUID();
};
