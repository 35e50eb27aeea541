#pragma once

#include <string>

// Whether a desktop can be reached. When not, `why` says so in one line and how to run the
// program without a screen, in place of the toolkit's own error dump.
bool DesktopAvailable(std::string& why);

// Tells the user why the program cannot start, before any window exists: in a message box on
// Windows, on standard error elsewhere.
void ShowStartupFailure(const std::string& message);
