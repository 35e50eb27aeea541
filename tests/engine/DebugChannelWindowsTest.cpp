// The diagnostic channel on Windows: OutputDebugStringW, read the way a debugger reads it. Each
// call raises a debug-print exception carrying the text, in UTF-16 where the system sends it so
// (since Windows 10) and always in the system's 8-bit code page; a vectored handler sees it first.
#include <gtest/gtest.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Diagnostics.h"

namespace {

constexpr DWORD kPrintException = 0x40010006;      // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintExceptionWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

struct TCapturedLines {
  std::mutex Lock;
  std::vector<std::wstring> Wide;
  std::vector<std::string> Narrow;
};
TCapturedLines Captured;

LONG CALLBACK CaptureDebugPrint(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  if (record.NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  // Parameter 0 is the length with the terminating NUL, parameter 1 the text.
  const auto length = static_cast<std::size_t>(record.ExceptionInformation[0]);
  if (record.ExceptionCode == kPrintExceptionWide && length > 0) {
    const std::lock_guard<std::mutex> hold(Captured.Lock);
    Captured.Wide.emplace_back(reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]),
                               length - 1);
  } else if (record.ExceptionCode == kPrintException && length > 0) {
    const std::lock_guard<std::mutex> hold(Captured.Lock);
    Captured.Narrow.emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]),
                                 length - 1);
  }
  return EXCEPTION_CONTINUE_SEARCH;  // the system's own handler goes on as without a debugger
}

std::string InCodePage(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

class DebugChannelWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDiagnosticSink({});
    const std::lock_guard<std::mutex> hold(Captured.Lock);
    Captured.Wide.clear();
    Captured.Narrow.clear();
    handler_ = AddVectoredExceptionHandler(1, CaptureDebugPrint);
    ASSERT_NE(handler_, nullptr);
  }
  void TearDown() override { RemoveVectoredExceptionHandler(handler_); }

  // What a debugger received: the UTF-16 lines where the system sent them, else the 8-bit ones
  // turned back into what was expected of them.
  void ExpectLines(const std::vector<std::wstring>& expected) {
    const std::lock_guard<std::mutex> hold(Captured.Lock);
    if (!Captured.Wide.empty()) {
      EXPECT_EQ(Captured.Wide, expected);
      return;
    }
    std::vector<std::string> narrow;
    for (const std::wstring& line : expected) narrow.push_back(InCodePage(line));
    EXPECT_EQ(Captured.Narrow, narrow) << "in code page " << GetACP();
  }

  PVOID handler_ = nullptr;
};

TEST_F(DebugChannelWindowsTest, LineArrivesAsItsTextWithoutLineBreak) {
  DebugOutput("已添加监控目标: 网关 (192.0.2.1) IPv4");
  DebugOutput("IPv6 ping to ::1 failed (Status: 0x2B02)");
  ExpectLines(
      {L"已添加监控目标: 网关 (192.0.2.1) IPv4", L"IPv6 ping to ::1 failed (Status: 0x2B02)"});
}

TEST_F(DebugChannelWindowsTest, LinesFromManyThreadsArriveWhole) {
  constexpr int kThreads = 8, kLines = 100;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string line = "线程" + std::to_string(t) + ":" + std::string(3000, char('a' + t));
      for (int i = 0; i < kLines; ++i) DebugOutput(line);
    });
  }
  for (auto& t : threads) t.join();

  std::vector<std::wstring> wideLines;
  std::vector<std::string> narrowLines;
  for (int t = 0; t < kThreads; ++t) {
    wideLines.push_back(L"线程" + std::to_wstring(t) + L":" +
                        std::wstring(3000, wchar_t(L'a' + t)));
    narrowLines.push_back(InCodePage(wideLines.back()));
  }
  const std::lock_guard<std::mutex> hold(Captured.Lock);
  const bool wide = !Captured.Wide.empty();
  const std::size_t count = wide ? Captured.Wide.size() : Captured.Narrow.size();
  std::vector<int> perThread(kThreads, 0);
  for (std::size_t i = 0; i < count; ++i) {
    int thread = 0;
    while (thread < kThreads && (wide ? Captured.Wide[i] != wideLines[thread]
                                      : Captured.Narrow[i] != narrowLines[thread])) {
      ++thread;
    }
    ASSERT_LT(thread, kThreads) << "line " << i << " was cut or interleaved";
    ++perThread[thread];
  }
  EXPECT_EQ(perThread, std::vector<int>(kThreads, kLines));
}

}  // namespace
