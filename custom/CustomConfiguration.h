#pragma once

class QTXConfiguration;

// The source product's settings (group K48213) and their defaults; start-up calls DefineTree after
// the common keys, so these come last in definition order.
class CustomConfiguration {
public:
    static void DefineTree(QTXConfiguration& config);
};
