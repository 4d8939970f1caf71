// JSON strings from texts of any bytes, for iplookup --json.
#pragma once

#include <cstdio>

namespace iplookup {

// Writes text as a JSON string, quotes included. Well-formed UTF-8 is
// copied as it is; '"', '\\' and the control bytes below 0x20 are escaped;
// every other byte, one that does not begin a well-formed UTF-8 sequence
// (a Windows-1251 letter, a cut-off sequence, an overlong form, an encoded
// surrogate), becomes \u00XX, the character of the same number. The output
// is therefore valid JSON in UTF-8 whatever text holds.
void write_json_string(FILE *out, const char *text);

}  // namespace iplookup
