#include "platform/ado/Parameter.h"

namespace ado {

struct Parameter::Data {
    QString name;
    mutable QString lower; // filled on first use
    mutable bool lowerKnown = false;
    int type = adVarChar;
    int direction = adParamInput;
    int size = 0;
    Variant value;
};

Parameter::Parameter() : d_(std::make_shared<Data>()) {}

Parameter::Parameter(const QString& name, int type, int direction, int size, const Variant& value)
    : d_(std::make_shared<Data>(Data{name, {}, false, type, direction, size, value})) {}

QString Parameter::Name() const {
    return d_->name;
}
const QString& Parameter::nameRef() const {
    return d_->name;
}
void Parameter::setName(const QString& name) {
    d_->name = name;
    d_->lowerKnown = false;
}

const QString& Parameter::lowerName() const {
    if (!d_->lowerKnown) {
        d_->lower = d_->name.toLower();
        d_->lowerKnown = true;
    }
    return d_->lower;
}
int Parameter::Type() const {
    return d_->type;
}
void Parameter::setType(int type) {
    d_->type = type;
}
int Parameter::Direction() const {
    return d_->direction;
}
void Parameter::setDirection(int direction) {
    d_->direction = direction;
}
int Parameter::Size() const {
    return d_->size;
}
void Parameter::setSize(int size) {
    d_->size = size;
}
Variant Parameter::Value() const {
    return d_->value;
}
const Variant& Parameter::valueRef() const {
    return d_->value;
}
void Parameter::setValue(const Variant& value) {
    d_->value = value;
}
void Parameter::setValue(Variant&& value) {
    d_->value = std::move(value);
}
bool Parameter::isInput() const {
    return d_->direction == adParamInput || d_->direction == adParamInputOutput;
}
bool Parameter::isOutput() const {
    return d_->direction == adParamOutput || d_->direction == adParamInputOutput;
}

} // namespace ado
