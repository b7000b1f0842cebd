// Script strings are bytes: scripts written for the editor are often
// Shift-JIS (code page 932) files, newer ones UTF-8.  Text and face names are
// read as UTF-8 when the bytes are valid UTF-8, otherwise as code page 932.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or
// values above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// The characters of `bytes`, decoded as described above.  Bytes that fit
// neither encoding are skipped, so the rest still decodes.
std::u32string decode_script_text(std::string_view bytes);

// The same characters as UTF-8 (what fontconfig expects).
std::string script_text_to_utf8(std::string_view bytes);

}  // namespace platform
