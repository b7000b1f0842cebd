// Script and program texts as UTF-16 for the Windows wide-character calls.
//
// The plug-in's own texts are UTF-8; scripts written for the editor are
// usually in the ANSI code page (932 on a Japanese system), newer ones UTF-8.
// Valid UTF-8 is read as UTF-8, anything else in the ANSI code page, so both
// show the same characters whatever the system's code page.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform {

inline std::wstring to_wide(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int length = static_cast<int>(bytes.size());
    UINT code_page = CP_UTF8;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (n <= 0) {
        code_page = CP_ACP;
        n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
        if (n <= 0) return {};
    }
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(code_page, code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, bytes.data(),
                        length, wide.data(), n);
    return wide;
}

}  // namespace platform
