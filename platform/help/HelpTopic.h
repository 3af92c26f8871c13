#pragma once

#include <QString>

#include <functional>

// The program's help: one HTML page per topic, help/<topic>.html in the application folder,
// opened in the desktop's browser.

// Opens a file in the desktop's browser; true when it could be handed over. The default runs
// xdg-open; tests install their own. An empty function restores the default.
using HelpOpener = std::function<bool(const QString& filePath)>;
void SetHelpOpener(HelpOpener opener);

// AppDirectory()/help/<topic>.html; empty for a topic that is not a plain name (a path, "..",
// blanks only), so a topic can never open a file outside the help folder.
QString HelpTopicFile(const QString& topic);

// Opens the topic's page. False when the topic is not a plain name, the page does not exist, or
// the browser could not be started; the calling dialog then reports "Unable to display help".
bool ShowHelpTopic(const QString& topic);
