// Vantrel's window end to end: the same window made inside this process (drops cannot cross
// processes under wine), and Vantrel.exe itself started as a child process.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "converter/messages.h"
#include "converter/window/drop_file_list.h"
#include "converter/window/main_window.h"
#include "tests/converter/converter_testing.h"
#include "tests/vantrel/window_testing.h"
#include "tools/fcg_writer/fcg_writer.h"

namespace {

using converter_testing::cp932;
using converter_testing::WorkingFolder;
using window_testing::logText;
using window_testing::withoutTimes;

const std::string kBanner = cp932(u8"Vantrel version 0.01\r\nFCG コンテナ分割ツール  (c) Vantrel 開発チーム\r\n\r\n"
                                  u8"ここにファイルをドロップ！\r\n");

class VantrelWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { vantrel::registerWindowClass(GetModuleHandleA(nullptr)); }

  HWND open(const char* commandLine = "") {
    vantrel::setProcessValues(GetModuleHandleA(nullptr), commandLine);
    window_ = vantrel::createMainWindow(GetModuleHandleA(nullptr));
    return window_;
  }

  void TearDown() override {
    if (window_ != nullptr) DestroyWindow(window_);
    window_ = nullptr;
    // Closing posts the quit message; take it (and anything else) off this thread's queue.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  HWND window_ = nullptr;
};

TEST_F(VantrelWindow, StartsWithTheBannerOnly) {
  HWND window = open();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(logText(window), kBanner);
  char title[32];
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(title, "Vantrel");
  HWND edit = GetDlgItem(window, vantrel::kLogControlId);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(edit, GWL_STYLE)) & 0xFFFFFFFFu, 0x503010C4u);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(edit, GWL_EXSTYLE)) & WS_EX_CLIENTEDGE, DWORD{WS_EX_CLIENTEDGE});
}

TEST_F(VantrelWindow, DropOfTwoFilesLogsAHeaderBlockAndTheSplitForEach) {
  WorkingFolder folder;
  folder.write("first.fcg", fcg_writer::buildContainer({fcg_writer::opaqueImage(10, 1), fcg_writer::opaqueImage(20, 2)}));
  folder.write("second.fcg", fcg_writer::buildContainer({fcg_writer::opaqueImage(30, 3)}));
  HWND window = open();
  ASSERT_NE(window, nullptr);
  const std::string first = folder.path("first.fcg"), second = folder.path("second.fcg");
  SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(window_testing::makeDrop({first, second})), 0);

  std::string expected = kBanner + cp932(u8"\r\n---\r\n入力ファイル名：") + first +
                         cp932(u8"\r\n[fcg_000001.gg0]  サイズ：58\r\n[fcg_000002.gg0]  サイズ：68\r\n処理時間：T 秒\r\n"
                               u8"\r\n---\r\n入力ファイル名：") +
                         second + cp932(u8"\r\n[fcg_000003.gg0]  サイズ：78\r\n処理時間：T 秒\r\n");
  EXPECT_EQ(withoutTimes(logText(window)), expected);
  EXPECT_EQ(folder.read("fcg_000003.gg0").size(), 78u);
}

TEST_F(VantrelWindow, DroppedNamesThatCannotBeOpenedOrAreTooLongAreReported) {
  WorkingFolder folder;
  HWND window = open();
  ASSERT_NE(window, nullptr);
  const std::string missing = folder.path("missing.fcg");
  const std::string tooLong = folder.path(std::string(300, 'n') + ".fcg");
  SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(window_testing::makeDrop({missing, tooLong})), 0);
  std::string expected = kBanner + cp932(u8"\r\n---\r\n入力ファイル名：") + missing +
                         cp932(u8"\r\n入力ファイルを開けませんでした\r\n\r\n---\r\n入力ファイル名：") + tooLong +
                         cp932(u8"\r\nパスが長すぎるため開けませんでした\r\n");
  EXPECT_EQ(logText(window), expected);
}

TEST_F(VantrelWindow, LogKeepsTheNewest32767Characters) {
  HWND window = open();
  ASSERT_NE(window, nullptr);
  std::string all = kBanner;
  for (int i = 0; i < 40; ++i) {
    std::string line = "line " + std::to_string(i) + " " + std::string(1000, static_cast<char>('a' + i % 26)) + "\r\n";
    vantrel::logView().append(line.c_str());
    all += line;
  }
  std::string text = logText(window);
  ASSERT_EQ(text.size(), 32767u);
  EXPECT_EQ(text, all.substr(all.size() - 32767));

  // A text longer than the whole log leaves only its own newest part.
  std::string huge(40000, 'h');
  huge += "end\r\n";
  vantrel::logView().append(huge.c_str());
  EXPECT_EQ(logText(window), huge.substr(huge.size() - 32767));
}

TEST_F(VantrelWindow, TrimmingNeverCutsADoubleByteCharacter) {
  if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page (LANG=ja_JP.UTF-8)";
  HWND window = open();
  ASSERT_NE(window, nullptr);
  vantrel::LogView& log = vantrel::logView();
  log.createControl(window, vantrel::kLogControlId);  // a fresh, empty log
  const std::string a = "\x82\xa0";  // あ
  std::string full;
  for (int i = 0; i < 16383; ++i) full += a;
  full += "x";  // 32767 bytes
  log.append(full.c_str());
  ASSERT_EQ(logText(window), full);
  log.append("yy");  // two bytes go: exactly the first character
  std::string expected = full.substr(2) + "yy";
  ASSERT_EQ(logText(window), expected);
  log.append("z");  // one byte would split the next character: both of its bytes go
  expected = expected.substr(2) + "z";
  EXPECT_EQ(logText(window), expected);
  EXPECT_EQ(expected.size(), 32766u);
}

TEST_F(VantrelWindow, LogFillsTheClientAreaAfterResizing) {
  HWND window = open();
  ASSERT_NE(window, nullptr);
  HWND edit = GetDlgItem(window, vantrel::kLogControlId);
  for (SIZE size : {SIZE{600, 450}, SIZE{250, 160}}) {
    MoveWindow(window, 10, 10, size.cx, size.cy, TRUE);
    RECT client, control;
    GetClientRect(window, &client);
    GetWindowRect(edit, &control);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&control), 2);
    EXPECT_EQ(control.left, 0);
    EXPECT_EQ(control.top, 0);
    EXPECT_EQ(control.right, client.right) << size.cx;
    EXPECT_EQ(control.bottom, client.bottom) << size.cy;
  }
}

TEST_F(VantrelWindow, DestroyingTheWindowPostsQuitWithExitCodeZero) {
  HWND window = open();
  ASSERT_NE(window, nullptr);
  HWND edit = GetDlgItem(window, vantrel::kLogControlId);
  DestroyWindow(window);
  window_ = nullptr;
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(vantrel::logView().control(), nullptr);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 0u);
  vantrel::logView().append("dropped\r\n");  // no control: nothing happens
}

// ---------------------------------------------------------------- Vantrel.exe as a child

class VantrelProgram : public ::testing::Test {
 protected:
  // Starts Vantrel.exe with these arguments in folder; false when it does not start.
  bool start(const std::string& arguments, const std::string& folder) {
    std::string commandLine = "\"" + window_testing::programFolder() + "\\Vantrel.exe\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                          &process_) != FALSE;
  }

  // Closes the window as the user would and returns the exit code (or a marker value).
  DWORD closeAndWait(HWND window) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 30000) != WAIT_OBJECT_0) return 0xDEAD;
    DWORD code = 0xBEEF;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  void TearDown() override {
    if (process_.hProcess == nullptr) return;
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }

  PROCESS_INFORMATION process_ = {};
};

TEST_F(VantrelProgram, ClosingTheWindowEndsWithExitCodeZero) {
  WorkingFolder folder;
  ASSERT_TRUE(start("", folder.path()));
  HWND window = window_testing::waitForWindow(process_.dwProcessId, 30000);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(logText(window), kBanner);
  EXPECT_EQ(closeAndWait(window), 0u);
}

TEST_F(VantrelProgram, SplitsTheFilesNamedOnItsCommandLine) {
  WorkingFolder folder;
  folder.makeFolder("with blanks");
  folder.write("with blanks\\a box.fcg", fcg_writer::buildContainer({fcg_writer::opaqueImage(5, 1)}));
  folder.write("plain.fcg", fcg_writer::buildContainer({fcg_writer::opaqueImage(6, 2), fcg_writer::opaqueImage(7, 3)}));
  const std::string quoted = folder.path("with blanks\\a box.fcg");
  const std::string plain = folder.path("plain.fcg");
  ASSERT_TRUE(start("\"" + quoted + "\"   " + plain + " ", folder.path()));
  HWND window = window_testing::waitForWindow(process_.dwProcessId, 30000);
  ASSERT_NE(window, nullptr);
  std::string expected = kBanner + cp932(u8"\r\n---\r\n入力ファイル名：") + quoted +
                         cp932(u8"\r\n[fcg_000001.gg0]  サイズ：53\r\n処理時間：T 秒\r\n\r\n---\r\n入力ファイル名：") +
                         plain +
                         cp932(u8"\r\n[fcg_000002.gg0]  サイズ：54\r\n[fcg_000003.gg0]  サイズ：55\r\n処理時間：T 秒\r\n");
  EXPECT_EQ(withoutTimes(logText(window)), expected);
  EXPECT_EQ(closeAndWait(window), 0u);
  std::string bytes;
  ASSERT_TRUE(fcg_writer::readFile(folder.path("fcg_000001.gg0"), &bytes));
  fcg_writer::Image image = fcg_writer::opaqueImage(5, 1);
  EXPECT_EQ(bytes, image.header + image.data);
  EXPECT_TRUE(folder.exists("fcg_000003.gg0"));
}

}  // namespace
