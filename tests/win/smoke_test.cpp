#include <gtest/gtest.h>

#include "app/win32/text.h"

TEST(Text, RoundTripsChinese) {
  const std::string text = "Kelvara自动安装向导";
  EXPECT_EQ(Narrow(Widen(text)), text);
  EXPECT_EQ(Widen(text).size(), 13u);
}
