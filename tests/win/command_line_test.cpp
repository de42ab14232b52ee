// The private-mode rule applied to command lines split by CommandLineToArgvW.
#include "app/win32/command_line.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {
TEST(PrivateModeCommandLine, OnlyAnExactFirstArgumentCounts) {
  const struct {
    const wchar_t* line;
    bool expected;
  } cases[] = {
      {L"prog.exe", false},
      {L"prog.exe private", true},
      {L"\"C:\\a b\\prog.exe\" private", true},
      {L"prog.exe \"private\"", true},
      {L"prog.exe pri\"vate\"", true},
      {L"prog.exe   private", true},
      {L"prog.exe PRIVATE", false},
      {L"prog.exe Private", false},
      {L"prog.exe privates", false},
      {L"prog.exe \"private \"", false},
      {L"prog.exe x private", false},
      {L"prog.exe \"\" private", false},
      {L"prog.exe private more args", true},
      // An unquoted path with a blank splits into two arguments.
      {L"C:\\a b\\prog.exe private", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wintest::Utf8(c.line));
    EXPECT_EQ(IsPrivateModeRequested(c.line), c.expected);
  }
}

TEST(PrivateModeCommandLine, EmptyLineIsNotPrivate) {
  // CommandLineToArgvW answers "" with the program's own path alone.
  EXPECT_FALSE(IsPrivateModeRequested(L""));
}
}  // namespace
