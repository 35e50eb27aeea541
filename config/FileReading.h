#pragma once

#include <string>

// False only when the system reports that nothing is there (no such file, or a path component
// that is no directory). Any other trouble counts as present, so that reading it reports the
// reason.
bool FileExists(const std::string& path);

// The whole file's bytes. Throws std::runtime_error 'Cannot open file "<path>". <reason>' when it
// cannot be opened or read (a directory, no permission, ...).
std::string ReadWholeFile(const std::string& path);
