#pragma once

#include "CommonFiles/foundation/HashTable.h"

#include <QString>

#include <cstdint>
#include <memory>

class QTXConfiguration;

// Converts a value from one unit of measure to another with the conversions kept under
// TARGET\UNITCONVERT: conversion n (UNIT1 .. UNIT100) has ENABLED, FROMUNIT, FACTOR and TOUNIT. A
// FACTOR of 0 or above multiplies; -1 turns degrees Fahrenheit into Celsius, -2 Celsius into
// Fahrenheit; a text that is not a number counts as 1.
//
// Units are compared in their normal form (lower case, blanks removed), so "MG / L" is "mg/l". For
// a pair defined twice the first enabled definition wins.
//
// Nothing in the program creates a converter yet: start-up does not define the subtree and the
// import writes values as read. The settings dialog calls DefineTree so it can edit the keys.
class CommonUnitConvert {
public:
    static constexpr int SlotCount = 100;
    static constexpr double FahrenheitToCelsius = -1.0;
    static constexpr double CelsiusToFahrenheit = -2.0;

    // Reads and defines keys in the given store (AppConfig() by default), which must outlive the
    // converter.
    CommonUnitConvert();
    explicit CommonUnitConvert(QTXConfiguration& config);

    // Defines TARGET\UNITCONVERT\ENABLED and the keys of the 100 slots with their defaults (the 28
    // conversions of the default table, slots 29 to 100 empty and disabled). Keys already defined
    // keep their values.
    void DefineTree();
    // Loads the enabled conversions afresh; the converter is active only when
    // TARGET\UNITCONVERT\ENABLED is exactly "TRUE". Undefined keys leave it inactive (logged at
    // level 0).
    void Init();
    // The value in the to-unit, or the value unchanged when the converter is inactive, a unit is
    // empty, the units are equal or the pair is unknown.
    double GetConvertedResult(double value, const QString& fromUnit, const QString& toUnit);

    bool Active() const { return active_; }
    // Number of loaded conversions (pairs), for the settings dialog and tests.
    std::int32_t ConversionCount() const;

    // Lower case, every blank removed.
    static QString NormalizeUnit(const QString& unit);
    // The key of slot n's field: TARGET\UNITCONVERT\UNIT<n>\<field>.
    static QString SlotKey(int n, const QString& field);

private:
    void AddConversion(const QString& fromUnit, const QString& toUnit, double factor);
    // Code -1: (value - 32) / 1.8; code -2: value * 1.8 + 32; any other code fails.
    static bool ApplyAlgorithm(std::int32_t code, double value, double& result);

    using InnerMap = HashTable; // from-unit -> factor
    QTXConfiguration& config_;
    KeyedHash<std::shared_ptr<InnerMap>> conversions_; // to-unit -> inner map
    bool active_ = false;
};
