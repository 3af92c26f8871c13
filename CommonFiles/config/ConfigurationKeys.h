#pragma once

class QTXConfiguration;

// Defines every key that start-up needs before the file is read, groups OPTIONS, SOURCE, TARGET
// and VESKDRAQ, in this order and with their defaults. The three date defaults are taken from
// OleDate::now() at the moment of the call. The source group (K48213) is defined by the source's
// own hook, CustomConfiguration::DefineTree.
void DefineStartupKeys(QTXConfiguration& config);
