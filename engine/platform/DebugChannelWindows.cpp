#include <windows.h>

#include <string>

#include "DebugChannel.h"
#include "WindowsText.h"

// One call per line: a debugger shows each call as one line, so none is appended.
void WriteToDebugChannel(std::string_view line) {
  const std::wstring wide = WidenUtf8(line);
  OutputDebugStringW(wide.c_str());
}
