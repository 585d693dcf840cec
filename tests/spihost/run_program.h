// Runs a program of the build as a process of its own, its output caught in files: how the
// tests run the real host program, natively and (as a Windows program) under wine.
#pragma once

#include <string>
#include <vector>

#include "tests/common/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace spihost_testing {

struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// One argument as the C runtime of a Windows program splits its command line again: in
// quotes when it holds a blank or a quote or is empty, with each quote escaped and the
// backslashes before a quote (or before the closing quote) doubled.
inline std::string quoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

// Windows programs write "\r\n" to a text-mode stdout.
inline std::string withUnixLineEnds(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  }
  return out;
}

// The program beside the running test, by its name without extension.
inline std::string programPath(const std::string& folder, const std::string& name) {
#ifdef _WIN32
  return folder + name + ".exe";
#else
  return folder + name;
#endif
}

// Runs `program` with `args` (UTF-8, handed over as UTF-16 on Windows, so that names of
// any script arrive whole), in `workingFolder` when one is given.
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const testing_support::TempFolder& scratch, const std::string& workingFolder = "") {
  ProgramRun run;
  std::string outPath = scratch.path("program.stdout");
  std::string errPath = scratch.path("program.stderr");
#ifdef _WIN32
  auto wide = [](const std::string& text) {
    std::wstring out(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], static_cast<int>(out.size()));
    out.resize(out.size() - 1);  // the NUL
    return out;
  };
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileW(wide(outPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE err = CreateFileW(wide(errPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string line = quoteArgument(program);
  for (const std::string& arg : args) line += " " + quoteArgument(arg);
  std::wstring writable = wide(line);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process = {};
  std::wstring folder = wide(workingFolder);
  // Under a busy wine, starting a process now and then fails at once; that is the test
  // machine, not the program under test, so it is tried again and the failures are told.
  std::string startFailures;
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessW(wide(program).c_str(), &writable[0], nullptr, nullptr, TRUE, 0, nullptr,
                             workingFolder.empty() ? nullptr : folder.c_str(), &startup, &process) != FALSE;
    if (!started) startFailures += "CreateProcessW failed with error " + std::to_string(GetLastError()) + "\n";
  }
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.exitCode = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(out);
  CloseHandle(err);
#else
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
#endif
  run.out = withUnixLineEnds(scratch.read("program.stdout"));
  run.err = withUnixLineEnds(scratch.read("program.stderr"));
#ifdef _WIN32
  run.err = startFailures + run.err;
#endif
  return run;
}

}  // namespace spihost_testing
