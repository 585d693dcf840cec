// vantrel_driver: runs Vantrel.exe the way a user would and reports what its log says.
//
//   vantrel_driver [--cwd DIR] [--log FILE] [--hold MS] [--size WxH] [--timeout MS]
//                  VANTREL.EXE [FILE...]
//
// Starts VANTREL.EXE in DIR with the files on its command line (quoted where they hold
// blanks), waits until its window is shown (every named file has been split by then), reads
// the log control's text with WM_GETTEXT in UTF-16, writes it as UTF-8 with plain "\n" line
// ends to FILE (or standard output), keeps the window open for MS milliseconds (for a
// screenshot; with --size the window is first resized to W x H and its log scrolled to the
// top), then closes it with WM_CLOSE. Every wait is bounded: a program that does not answer is
// ended. The driver's own command line is read in UTF-16, so names of any script pass through.
// On standard error it reports the milliseconds from starting Vantrel to its window being
// shown. The exit code is Vantrel's, or 3 when it could not be started, shown or closed.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kLogControlId = 101;
constexpr int kFailed = 3;

struct Options {
  std::wstring folder;
  std::wstring logFile;
  DWORD holdMs = 0;
  DWORD timeoutMs = 60000;
  int width = 0;
  int height = 0;
  std::wstring program;
  std::wstring arguments;
};

struct FindContext {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM lParam) {
  auto* context = reinterpret_cast<FindContext*>(lParam);
  char name[64];
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == context->processId && GetClassNameA(window, name, sizeof name) && lstrcmpA(name, "VantrelClass") == 0) {
    context->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND waitForWindow(HANDLE process, DWORD processId, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    FindContext context{processId, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&context));
    if (context.found != nullptr && IsWindowVisible(context.found)) return context.found;
    if (WaitForSingleObject(process, 5) == WAIT_OBJECT_0) return nullptr;  // it ended early
  }
  return nullptr;
}

// Without SMTO_ABORTIFHUNG: a window that split a large container while it was created has not
// asked for messages for that long and counts as hung, though it answers at once.
bool readLog(HWND window, std::wstring* text) {
  HWND edit = GetDlgItem(window, kLogControlId);
  DWORD_PTR length = 0;
  if (edit == nullptr || !SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length)) {
    return false;
  }
  text->assign(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(edit, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&(*text)[0]), SMTO_NORMAL,
                           10000, &copied)) {
    return false;
  }
  text->resize(copied);
  return true;
}

// UTF-16 to UTF-8, "\r\n" to "\n".
std::string toUtf8(const std::wstring& text) {
  int wide = static_cast<int>(text.size());
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &utf8[0], bytes, nullptr, nullptr);
  std::string out;
  for (char c : utf8) {
    if (c != '\r') out += c;
  }
  return out;
}

bool writeText(const std::wstring& path, const std::string& text) {
  if (path.empty()) {
    DWORD written = 0;
    return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}

bool parse(int argc, wchar_t** argv, Options* options) {
  int i = 1;
  for (; i < argc && std::wcsncmp(argv[i], L"--", 2) == 0; ++i) {
    if (i + 1 >= argc) return false;
    std::wstring flag = argv[i];
    const wchar_t* value = argv[++i];
    if (flag == L"--cwd") options->folder = value;
    else if (flag == L"--log") options->logFile = value;
    else if (flag == L"--hold") options->holdMs = static_cast<DWORD>(std::wcstoul(value, nullptr, 10));
    else if (flag == L"--timeout") options->timeoutMs = static_cast<DWORD>(std::wcstoul(value, nullptr, 10));
    else if (flag == L"--size") {
      if (std::swscanf(value, L"%dx%d", &options->width, &options->height) != 2) return false;
    }
    else return false;
  }
  if (i >= argc) return false;
  options->program = argv[i++];
  for (; i < argc; ++i) {
    std::wstring word = argv[i];
    options->arguments += L" ";
    options->arguments += word.find(L' ') != std::wstring::npos ? L"\"" + word + L"\"" : word;
  }
  return true;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  Options options;
  if (argv == nullptr || !parse(argc, argv, &options)) {
    std::fprintf(stderr, "usage: vantrel_driver [--cwd DIR] [--log FILE] [--hold MS] [--size WxH] [--timeout MS] "
                 "VANTREL.EXE [FILE...]\n");
    return kFailed;
  }
  std::wstring commandLine = L"\"" + options.program + L"\"" + options.arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER frequency, started, shown;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&started);
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      options.folder.empty() ? nullptr : options.folder.c_str(), &startup, &process)) {
    std::fprintf(stderr, "vantrel_driver: cannot start %s (error %lu)\n", toUtf8(options.program).c_str(),
                 GetLastError());
    return kFailed;
  }
  int result = kFailed;
  HWND window = waitForWindow(process.hProcess, process.dwProcessId, options.timeoutMs);
  QueryPerformanceCounter(&shown);
  if (window != nullptr) {
    std::fprintf(stderr, "vantrel_driver: window shown after %.1f ms\n",
                 1000.0 * static_cast<double>(shown.QuadPart - started.QuadPart) / static_cast<double>(frequency.QuadPart));
  }
  std::wstring log;
  if (window == nullptr) {
    std::fprintf(stderr, "vantrel_driver: no window appeared within %lu ms\n", options.timeoutMs);
  } else if (!readLog(window, &log) || !writeText(options.logFile, toUtf8(log))) {
    std::fprintf(stderr, "vantrel_driver: cannot read or write the log\n");
  } else {
    if (options.width > 0 && options.height > 0) {
      SetWindowPos(window, nullptr, 0, 0, options.width, options.height, SWP_NOMOVE | SWP_NOZORDER);
      DWORD_PTR ignored = 0;
      SendMessageTimeoutA(GetDlgItem(window, kLogControlId), WM_VSCROLL, SB_TOP, 0, SMTO_NORMAL, 10000, &ignored);
    }
    if (options.holdMs > 0) Sleep(options.holdMs);
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, options.timeoutMs) == WAIT_OBJECT_0) {
      DWORD code = kFailed;
      GetExitCodeProcess(process.hProcess, &code);
      result = static_cast<int>(code);
    } else {
      std::fprintf(stderr, "vantrel_driver: the window did not close within %lu ms\n", options.timeoutMs);
    }
  }
  if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, kFailed);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}
