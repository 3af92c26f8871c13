#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QTXConfiguration;
class QTXLoggerTXT;
class QTXmsgBoxHandler;

// AppDirectory() + "/" + ExecutableBaseName() + ".xml".
QString StartupConfigurationPath();

// Brings the configuration up once per process: points AppConfig() at the file beside the
// executable, defines every key (start-up keys, the additional-information navigator, then the
// source's keys through sourceDefinitions), reads the file (creating it when missing), and
// applies the log verbosity, the log retention and the encryption flag. False when the file could
// not be read: the box "Unable to read configuration at <path>" has then been shown (logged and
// answered silently in service mode), and the caller ends the process.
bool LoadStartupConfiguration(const std::function<void(QTXConfiguration&)>& sourceDefinitions);
// The same on the given objects and file.
bool LoadStartupConfiguration(QTXConfiguration& config, QTXLoggerTXT& log, QTXmsgBoxHandler& msgBox,
                              const QString& path,
                              const std::function<void(QTXConfiguration&)>& sourceDefinitions);

// A start-up option as applied: a numeric text rounded to the nearest integer (halves to even) and
// clamped to low..high, anything else the fallback. Numbers beyond the 16-bit range are clamped
// like any other (40000 verbosity gives 9), rather than being refused as an overflow.
std::int16_t NormalizedStartupOption(const QString& text, std::int16_t fallback, std::int16_t low,
                                     std::int16_t high);
