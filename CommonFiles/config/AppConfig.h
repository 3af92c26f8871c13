#pragma once

#include <functional>

class CommonAINFOnavigator;
class QTXConfiguration;

// The process-wide configuration store, created on first use with AppLog() as its log. Start-up
// creates it right after the message-box handler.
QTXConfiguration& AppConfig();
// The process-wide additional-information navigator; start-up creates it while it defines the
// keys (its creation defines none).
CommonAINFOnavigator& AppAInfoNavigator();

// Saves the configuration when a value changed since the last read or save: encryption follows
// OPTIONS\ENCRYPT_PROTECT_CONFIG (upper-cased "YES"); when OPTIONS\PASSWORD_PROTECT_CONFIG is
// exactly "YES" the configuration password is asked first, and a cancelled prompt saves nothing.
// A successful save writes "Configuration saved to <path>" through LogActivity. Returns False
// when the prompt was cancelled or the file could not be written.
bool SaveConfigurationIfChanged();
bool SaveConfigurationIfChanged(QTXConfiguration& config);

// The interactive mode registers the password dialog here; it returns true when the operator
// cancelled. Without a prompt (service mode, tests) the answer is "not cancelled". An empty
// function unregisters.
void SetConfigPasswordPrompt(std::function<bool()> prompt);
