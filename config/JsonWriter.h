#pragma once

#include <string>

class TJsonValue;

// Renders `value` as indented JSON: four blanks per level, CR LF line breaks, ": " after a key,
// each element or member on a line of its own ("[", CR LF, "]" for an empty array). In strings
// only " \ / and the controls \b \t \n \f \r are escaped; everything else is written as raw
// UTF-8, never as \u escapes. Bytes that are not valid UTF-8 are written as U+FFFD so that the
// output always reads back.
std::string WriteJson(const TJsonValue& value);
