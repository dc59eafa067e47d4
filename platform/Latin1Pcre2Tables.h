#pragma once
// The 1088-byte PCRE2 character tables of the C locale, with every Latin-1
// letter's case pair added (À-Þ and à-þ, without × and ÷): PCRE2 without UTF
// folds ASCII only. Find and the triggers compile their patterns with these,
// so the two fold alike. The C locale is always there; a Latin-1 locale may
// not be installed.

namespace quillpad {

const unsigned char* Latin1CharacterTables();

}  // namespace quillpad
