#include "platform/utf16_windows.h"
#include "tests/players.h"

namespace players {

namespace fs = std::filesystem;

namespace {

HANDLE handle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

// One argument as the C runtime's command-line parser reads it back: quoted, with the
// backslashes before a quote doubled.
std::wstring quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

Process::Process(const std::vector<std::string>& command) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE inRead, inWrite, outRead, outWrite;
  if (!::CreatePipe(&inRead, &inWrite, &inherit, 0)) return;
  if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) {
    ::CloseHandle(inRead);
    ::CloseHandle(inWrite);
    return;
  }
  // Only the child's ends go to the child, so that closing ours ends its input.
  ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  std::wstring line;
  for (const auto& a : command) line += (line.empty() ? L"" : L" ") + quoted(platform::widen(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inRead;
  si.hStdOutput = outWrite;
  si.hStdError = outWrite;
  PROCESS_INFORMATION pi{};
  const std::wstring program = platform::widen(command.at(0));
  if (::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &si, &pi)) {
    ::CloseHandle(pi.hThread);
    process_ = reinterpret_cast<intptr_t>(pi.hProcess);
  }
  ::CloseHandle(inRead);
  ::CloseHandle(outWrite);
  in_ = reinterpret_cast<intptr_t>(inWrite);
  out_ = reinterpret_cast<intptr_t>(outRead);
}

Process::~Process() {
  if (process_ != -1) {
    kill();
    finish();
  }
  if (in_ != -1) ::CloseHandle(handle(in_));
  if (out_ != -1) ::CloseHandle(handle(out_));
}

void Process::kill() {
  if (process_ != -1 && ::TerminateProcess(handle(process_), 137)) killed_ = true;
}

std::string Process::readLine() {
  std::string line;
  char c;
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(handle(out_), &c, 1, &n, nullptr) || n == 0 || c == '\n') return line;
    if (c != '\r') line += c;
  }
}

void Process::go() {
  if (in_ != -1) ::CloseHandle(handle(in_));
  in_ = -1;
}

int Process::finish(std::string* output) {
  go();
  std::string rest;
  char buf[512];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(handle(out_), buf, sizeof buf, &n, nullptr) || n == 0) break;
    rest.append(buf, n);
  }
  // The C runtime writes text: its line ends are CR LF on Windows.
  std::string text;
  for (size_t i = 0; i < rest.size(); ++i)
    if (!(rest[i] == '\r' && i + 1 < rest.size() && rest[i + 1] == '\n')) text += rest[i];
  if (output) *output = text;
  if (process_ == -1) return -1;
  ::WaitForSingleObject(handle(process_), INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(handle(process_), &code);
  ::CloseHandle(handle(process_));
  process_ = -1;
  return killed_ ? -1 : static_cast<int>(code);
}

LockHolder::LockHolder(const fs::path& file) {
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  handle_ = reinterpret_cast<intptr_t>(h);
  OVERLAPPED at{};
  at.OffsetHigh = 0x7FFFFFFF;
  locked_ = ::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != 0;
}

LockHolder::~LockHolder() {
  if (handle_ != -1) ::CloseHandle(handle(handle_));
}

std::vector<std::string> scoreWriter(const fs::path& programFolder,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> command{MOROFIN_SCORE_WRITER, platform::narrow(programFolder.wstring())};
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

std::optional<std::vector<std::string>> asPlayer(std::vector<std::string>) {
  return std::nullopt;
}

void giveToPlayer(const fs::path&) {}

void openToAll(const fs::path&) {}

}  // namespace players
