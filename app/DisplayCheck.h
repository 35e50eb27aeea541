#pragma once

#include <string>

// Whether a desktop can be reached. When not, `why` says so in one line and how to run the
// program without a screen, in place of the toolkit's own error dump.
bool DesktopAvailable(std::string& why);
