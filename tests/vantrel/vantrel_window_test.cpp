// Vantrel's window end to end: the same window made inside this process (drops cannot cross
// processes under wine), and Vantrel.exe itself started as a child process.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "converter/messages.h"
#include "converter/output_namer.h"
#include "converter/window/drop_file_list.h"
#include "converter/window/main_window.h"
#include "tests/converter/converter_testing.h"
#include "tests/vantrel/window_testing.h"
#include "tools/fcg_writer/fcg_writer.h"

namespace {

using converter_testing::cp932;
using converter_testing::WorkingFolder;
using window_testing::fromCp932;
using window_testing::fromUtf8;
using window_testing::logText;
using window_testing::withoutTimes;

// The banner as the program holds it (code page 932 bytes) and as the window must show it.
const std::string kBannerBytes = cp932(u8"Vantrel version 0.01\r\nFCG コンテナ分割ツール  (c) Vantrel 開発チーム\r\n\r\n"
                                       u8"ここにファイルをドロップ！\r\n");
const std::wstring kBanner = fromUtf8(u8"Vantrel version 0.01\r\nFCG コンテナ分割ツール  (c) Vantrel 開発チーム\r\n\r\n"
                                      u8"ここにファイルをドロップ！\r\n");

// A name in Japanese, Greek and Korean: no ANSI code page spells all of it.
const std::string kNamedInThreeScripts = u8"写真 Ωμέγα 사진.fcg";

std::wstring widePath(const WorkingFolder& folder, const std::string& utf8Name) {
  return fromUtf8(folder.path()) + L"\\" + fromUtf8(utf8Name);
}

// The lines that a converted file adds: the header with its name, then the split's report.
std::wstring convertedBlock(const std::wstring& name, const std::string& reportUtf8) {
  return fromUtf8(u8"\r\n---\r\n入力ファイル名：") + name + L"\r\n" + fromUtf8(reportUtf8);
}

// The locale runs say which ANSI code page the prefix must have; a prefix made under another
// locale would test nothing.
TEST(SystemCodePage, IsTheOneTheRunAskedFor) {
  char expected[16];
  if (GetEnvironmentVariableA("VANTREL_EXPECTED_ACP", expected, sizeof expected) == 0) GTEST_SKIP();
  EXPECT_EQ(GetACP(), static_cast<UINT>(std::stoul(expected)));
}

// Under code page 932 the second byte of a character may be a backslash (0x5C in "表"): the
// namer must read it as part of the name, not as a folder separator.
TEST(SystemCodePage, NamerReadsDoubleByteCharactersWhole) {
  if (GetACP() != 932) GTEST_SKIP();
  WorkingFolder folder;
  ASSERT_TRUE(converter_testing::writeFileNamed(widePath(folder, u8"表_000001.gg0"), ""));
  vantrel::OutputNamer namer;
  namer.setExtension(".gg0");
  namer.setPattern(cp932(u8"表_%6n").c_str());
  EXPECT_EQ(namer.nextName(), cp932(u8"表_000002.gg0"));
}

class VantrelWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { vantrel::registerWindowClass(GetModuleHandleA(nullptr)); }

  HWND open(const wchar_t* commandLine = L"") {
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
  EXPECT_EQ(fromCp932(kBannerBytes), kBanner);  // the messages are converted from code page 932
  // An ANSI reader under the Japanese code page gets the very bytes the program holds.
  if (GetACP() == 932) {
    EXPECT_EQ(window_testing::logTextAnsi(window), kBannerBytes);
  }
  EXPECT_TRUE(IsWindowUnicode(window));
  EXPECT_TRUE(IsWindowUnicode(GetDlgItem(window, vantrel::kLogControlId)));
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
  const std::wstring first = widePath(folder, "first.fcg"), second = widePath(folder, "second.fcg");
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(window_testing::makeDrop({first, second})), 0);

  std::wstring expected =
      kBanner +
      convertedBlock(first, u8"[fcg_000001.gg0]  サイズ：58\r\n[fcg_000002.gg0]  サイズ：68\r\n処理時間：T 秒\r\n") +
      convertedBlock(second, u8"[fcg_000003.gg0]  サイズ：78\r\n処理時間：T 秒\r\n");
  EXPECT_EQ(withoutTimes(logText(window)), expected);
  EXPECT_EQ(folder.read("fcg_000003.gg0").size(), 78u);
}

TEST_F(VantrelWindow, DroppedNameOfAnyScriptIsOpenedAndShown) {
  WorkingFolder folder;
  const std::wstring named = widePath(folder, kNamedInThreeScripts);
  ASSERT_TRUE(converter_testing::writeFileNamed(named, fcg_writer::buildContainer({fcg_writer::opaqueImage(7, 5)})));
  HWND window = open();
  ASSERT_NE(window, nullptr);
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(window_testing::makeDrop({named})), 0);
  EXPECT_EQ(withoutTimes(logText(window)),
            kBanner + convertedBlock(named, u8"[fcg_000001.gg0]  サイズ：55\r\n処理時間：T 秒\r\n"));
  fcg_writer::Image image = fcg_writer::opaqueImage(7, 5);
  EXPECT_EQ(folder.read("fcg_000001.gg0"), image.header + image.data);  // the written names are as before
}

TEST_F(VantrelWindow, DroppedNamesThatCannotBeOpenedOrAreTooLongAreReported) {
  WorkingFolder folder;
  HWND window = open();
  ASSERT_NE(window, nullptr);
  const std::wstring missing = widePath(folder, "missing.fcg");
  const std::wstring tooLong = widePath(folder, std::string(300, 'n') + ".fcg");
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(window_testing::makeDrop({missing, tooLong})), 0);
  std::wstring expected = kBanner + convertedBlock(missing, u8"入力ファイルを開けませんでした\r\n") +
                          convertedBlock(tooLong, u8"パスが長すぎるため開けませんでした\r\n");
  EXPECT_EQ(logText(window), expected);
}

TEST_F(VantrelWindow, LogKeepsTheNewest32767Characters) {
  HWND window = open();
  ASSERT_NE(window, nullptr);
  std::wstring all = kBanner;
  for (int i = 0; i < 40; ++i) {
    std::string line = "line " + std::to_string(i) + " " + std::string(1000, static_cast<char>('a' + i % 26)) + "\r\n";
    vantrel::logView().append(line.c_str());
    all += fromUtf8(line);
  }
  std::wstring text = logText(window);
  ASSERT_EQ(text.size(), 32767u);
  EXPECT_EQ(text, all.substr(all.size() - 32767));

  // A text longer than the whole log leaves only its own newest part.
  std::string huge(40000, 'h');
  huge += "end\r\n";
  vantrel::logView().append(huge.c_str());
  EXPECT_EQ(logText(window), fromUtf8(huge.substr(huge.size() - 32767)));
}

// The log is measured in the bytes of its code page 932 text under every system code page: a
// double-byte character counts two and goes whole; a character that code page cannot spell
// counts one; a character beyond one UTF-16 unit is never cut in half.
TEST_F(VantrelWindow, TrimmingCountsCodePage932BytesAndNeverCutsACharacter) {
  HWND window = open();
  ASSERT_NE(window, nullptr);
  vantrel::LogView& log = vantrel::logView();
  log.createControl(window, vantrel::kLogControlId);  // a fresh, empty log
  const std::string a = "\x82\xa0";  // あ
  std::string full;
  for (int i = 0; i < 16383; ++i) full += a;
  full += "x";  // 32767 bytes
  log.append(full.c_str());
  ASSERT_EQ(logText(window), fromCp932(full));
  log.append("yy");  // two bytes go: exactly the first character
  std::string expected = full.substr(2) + "yy";
  ASSERT_EQ(logText(window), fromCp932(expected));
  log.append("z");  // one byte would split the next character: both of its bytes go
  expected = expected.substr(2) + "z";
  EXPECT_EQ(logText(window), fromCp932(expected));
  EXPECT_EQ(expected.size(), 32766u);
  if (GetACP() == 932) {
    EXPECT_EQ(window_testing::logTextAnsi(window), expected);
  }

  // Korean counts one byte a character ('?' in code page 932): three names of 3 units each
  // need 9 bytes, of which 1 is free; 8 bytes of the top (4 characters) go.
  const std::wstring korean = fromUtf8(u8"사진상");
  for (int i = 0; i < 3; ++i) log.appendName(korean.c_str());
  std::wstring shown = fromCp932(expected.substr(8)) + korean + korean + korean;
  EXPECT_EQ(logText(window), shown);

  // A character of two UTF-16 units at the top goes whole when the cut falls inside it.
  log.createControl(window, vantrel::kLogControlId);
  const std::wstring face = fromUtf8(u8"😀");
  std::wstring faces;
  for (int i = 0; i < 16383; ++i) faces += face;  // 32766 units, counted as 32766 bytes
  log.appendName(faces.c_str());
  log.append("ab");  // one byte over: the first unit would go, its partner with it
  EXPECT_EQ(logText(window), faces.substr(2) + L"ab");
}

// Text collected while updates are held ends in the log exactly as the same pieces added one
// at a time: trimming across the pieces, double-byte characters at the cut, a piece too large
// to be held, names in scripts code page 932 cannot spell.
TEST_F(VantrelWindow, HeldTextEndsAsTheSamePiecesAddedOneAtATime) {
  HWND window = open();
  ASSERT_NE(window, nullptr);
  vantrel::LogView& log = vantrel::logView();
  const std::string a = "\x82\xa0";  // あ
  std::string nearlyFull;
  for (int i = 0; i < 16380; ++i) nearlyFull += a;
  const std::wstring korean = fromUtf8(u8"사진상");
  struct Piece {
    std::string text;  // code page 932, or empty for the name below
    bool name;
  };
  std::vector<std::vector<Piece>> cases = {
      {{"yy", false}, {"z", false}, {a + "q" + a, false}, {"", true}, {"w", false}},
      {{std::string(20000, 'b'), false}, {a + "x", false}, {std::string(13000, 'c'), false}, {"", true}},
      {{std::string(40000, 'h') + a, false}, {"tail\r\n", false}},
  };
  cases.push_back({});  // the lines of a split of many images, more than the log has room for
  for (int i = 0; i < 20; ++i) cases.back().push_back({"[fcg_" + std::to_string(i) + ".gg0]  " + a + a + "\r\n", false});
  for (size_t c = 0; c < cases.size(); ++c) {
    std::wstring shown[2];
    for (int held = 0; held < 2; ++held) {
      log.createControl(window, vantrel::kLogControlId);
      log.append(nearlyFull.c_str());
      if (held) log.holdUpdates();
      for (const Piece& piece : cases[c]) {
        if (piece.name) {
          log.appendName(korean.c_str());
        } else {
          log.append(piece.text.c_str());
        }
      }
      log.showHeld();
      shown[held] = logText(window);
    }
    EXPECT_EQ(shown[1], shown[0]) << "case " << c;
    EXPECT_LE(shown[0].size(), 32767u) << "case " << c;
  }
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
  bool start(const std::wstring& arguments, const std::string& folder) {
    std::wstring commandLine = L"\"" + fromUtf8(window_testing::programFolder()) + L"\\Vantrel.exe\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, fromUtf8(folder).c_str(),
                          &startup, &process_) != FALSE;
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
  ASSERT_TRUE(start(L"", folder.path()));
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
  const std::wstring named = widePath(folder, kNamedInThreeScripts);
  ASSERT_TRUE(converter_testing::writeFileNamed(named, fcg_writer::buildContainer({fcg_writer::opaqueImage(8, 4)})));
  const std::wstring quoted = widePath(folder, "with blanks\\a box.fcg");
  const std::wstring plain = widePath(folder, "plain.fcg");
  ASSERT_TRUE(start(L"\"" + quoted + L"\"   " + plain + L" \"" + named + L"\"", folder.path()));
  HWND window = window_testing::waitForWindow(process_.dwProcessId, 30000);
  ASSERT_NE(window, nullptr);
  std::wstring expected =
      kBanner + convertedBlock(quoted, u8"[fcg_000001.gg0]  サイズ：53\r\n処理時間：T 秒\r\n") +
      convertedBlock(plain, u8"[fcg_000002.gg0]  サイズ：54\r\n[fcg_000003.gg0]  サイズ：55\r\n処理時間：T 秒\r\n") +
      convertedBlock(named, u8"[fcg_000004.gg0]  サイズ：56\r\n処理時間：T 秒\r\n");
  EXPECT_EQ(withoutTimes(logText(window)), expected);
  EXPECT_EQ(closeAndWait(window), 0u);
  std::string bytes;
  ASSERT_TRUE(fcg_writer::readFile(folder.path("fcg_000001.gg0"), &bytes));
  fcg_writer::Image image = fcg_writer::opaqueImage(5, 1);
  EXPECT_EQ(bytes, image.header + image.data);
  EXPECT_TRUE(folder.exists("fcg_000004.gg0"));
}

}  // namespace
