#pragma once

#include <string>
#include <string_view>

// Character references in attribute values. Pages write "&" in an address as
// "&amp;" and sometimes spell characters by number ("&#64;"); a browser reads
// them before it resolves the address, and so must the scanner.

// Whether `afterHash`, the text right after "&#", continues a numeric
// reference: a decimal digit, or "x" or "X" and a hexadecimal digit. Such a
// "#" begins a character, not a fragment.
bool ContinuesNumericReference(std::string_view afterHash);

// Decodes in place the references a value may hold: "&amp;", "&lt;", "&gt;",
// "&quot;", "&apos;" (with their ";", in lower case) and numeric ones
// ("&#64;", "&#x40;", the ";" optional as browsers have it), written as
// UTF-8; a number that names no character (0, a surrogate, above U+10FFFF)
// gives U+FFFD as it does in a browser. Anything else, "&" alone and every
// other named reference among it, stays as written. Never lengthens the text.
void DecodeCharacterReferences(std::string& value);
