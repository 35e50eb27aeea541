#pragma once

#include <string>
#include <string_view>

// Replaces the file at `path` by `bytes` in one step: the bytes go to a temporary file in the same
// directory, are flushed to disk and then renamed over the old file. On any failure the old file
// is left as it was, the temporary file is removed, and std::runtime_error is thrown with a message
// that names the file and the system's reason.
void WriteFileAtomically(const std::string& path, std::string_view bytes);
