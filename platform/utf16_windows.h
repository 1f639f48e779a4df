#pragma once

// The runtime keeps text as UTF-8; Windows's own functions take UTF-16. Only the Windows files of
// the runtime and of the tests include this.
//
// The runtime names the keys itself (platform/keys.h); Windows's VK_ macros would replace those
// names, and its min and max macros std::min and std::max.
#ifndef NOVIRTUALKEYCODES
#define NOVIRTUALKEYCODES
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace platform {

inline std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

inline std::string narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), s.data(), n,
                        nullptr, nullptr);
  return s;
}

// The system's message for an error code, as one line.
inline std::string systemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring w = n && text ? std::wstring(text, n) : std::wstring();
  if (text) ::LocalFree(text);
  while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ' ||
                        w.back() == L'.'))
    w.pop_back();
  return w.empty() ? "error " + std::to_string(code) : narrow(w);
}

}  // namespace platform
