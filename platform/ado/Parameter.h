#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "platform/ado/AdoTypes.h"

#include <QString>

#include <memory>

namespace ado {

// A parameter of a Command: name, ADO type code (adInteger, adDouble, adDate, adVarChar,
// adVarWChar), direction and size. A handle, as in ADO: a copy refers to the same parameter, so a
// parameter kept by the caller after appendParameter still sets and reads the appended one.
//
// Size is the longest text a text parameter accepts (characters); a longer input is rejected with
// AdoError (ParameterTooLong) when the command runs, never cut. 0 means no limit. For a text output
// parameter it is also the longest text the engine may return.
class Parameter {
public:
    Parameter();
    Parameter(const QString& name, int type, int direction, int size = 0, const Variant& value = Variant());

    QString Name() const;
    const QString& nameRef() const; // the name without a copy, for the layer's matching
    void setName(const QString& name);
    int Type() const;
    void setType(int type);
    int Direction() const;
    void setDirection(int direction);
    int Size() const;
    void setSize(int size);
    Variant Value() const;
    const Variant& valueRef() const; // the value without a copy, for the layer's binding
    void setValue(const Variant& value);
    void setValue(Variant&& value);

    // The name folded to lower case (worked out once per parameter), for matching names.
    const QString& lowerName() const;

    bool isInput() const;  // adParamInput or adParamInputOutput
    bool isOutput() const; // adParamOutput or adParamInputOutput

private:
    struct Data;
    std::shared_ptr<Data> d_;
};

} // namespace ado
