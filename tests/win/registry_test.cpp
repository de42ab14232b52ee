// The .NET probes read the prefix's real registry through Win32SystemApi.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "system/probes.h"

namespace {
const wchar_t kSetup[] = L"SOFTWARE\\Microsoft\\NET Framework Setup";
const wchar_t kNdp[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP";
const wchar_t kV40[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4.0";
const wchar_t kV4[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4";
const wchar_t kV40Client[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4.0\\Client";
const wchar_t kV4Client[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client";
const wchar_t kV4Full[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
const wchar_t kV2[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727";

// Every key this test creates carries this value, so leftovers of a crashed
// run can be told from a real .NET installation.
const wchar_t kMarker[] = L"KelvaraAdapterTest";

bool KeyExists(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool HasMarker(const wchar_t* path) {
  return RegGetValueW(HKEY_LOCAL_MACHINE, path, kMarker, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

// Deletes a parent we created once nothing but our marker is left in it.
void DeleteIfOursAndEmpty(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD subkeys = 0;
  DWORD values = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  if (subkeys == 0 && values == 1 && HasMarker(path)) RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
}

class DotNetRegistry : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const wchar_t* leaf : {kV40Client, kV4Client, kV4Full, kV2}) {
      if (KeyExists(leaf) && !HasMarker(leaf))
        FAIL() << "this prefix has a real .NET key; the probes cannot be tested here";
    }
    RemoveOurKeys();
    setup_key_existed_ = KeyExists(kSetup);
  }
  void SetUp() override { RemoveOurKeys(); }
  void TearDown() override { RemoveOurKeys(); }

  static void RemoveOurKeys() {
    for (const wchar_t* leaf : {kV40Client, kV4Client, kV4Full, kV2})
      if (HasMarker(leaf)) RegDeleteKeyW(HKEY_LOCAL_MACHINE, leaf);
    for (const wchar_t* parent : {kV40, kV4, kNdp, kSetup}) DeleteIfOursAndEmpty(parent);
  }

  // Creates the key (with its parents) and sets "Install" when type != REG_NONE.
  static void Write(const wchar_t* path, DWORD type, const std::vector<unsigned char>& data) {
    std::vector<const wchar_t*> created;
    for (const wchar_t* parent : {kSetup, kNdp, kV40, kV4})
      if (std::wstring(path).rfind(parent, 0) == 0 && !KeyExists(parent)) created.push_back(parent);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    // Parents made here are marked too, so a crashed run's can be removed.
    const DWORD one = 1;
    for (const wchar_t* parent : created)
      RegSetKeyValueW(HKEY_LOCAL_MACHINE, parent, kMarker, REG_DWORD, &one, sizeof(one));
    RegSetValueExW(key, kMarker, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    if (type != REG_NONE) {
      ASSERT_EQ(
          RegSetValueExW(key, L"Install", 0, type, data.data(), static_cast<DWORD>(data.size())),
          ERROR_SUCCESS);
    }
    RegCloseKey(key);
  }
  static void Dword(const wchar_t* path, DWORD value) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    Write(path, REG_DWORD, {bytes, bytes + sizeof(value)});
  }

  static bool setup_key_existed_;
};

bool DotNetRegistry::setup_key_existed_ = false;

const std::vector<unsigned char> kSzOne = {'1', 0, 0, 0};  // L"1" with its terminator

TEST_F(DotNetRegistry, NothingInstalled) {
  EXPECT_FALSE(IsDotNet4Installed());
  EXPECT_FALSE(IsDotNet2Installed());
}

TEST_F(DotNetRegistry, InstallValueTypesUnderV40Client) {
  const struct {
    const char* name;
    DWORD type;
    std::vector<unsigned char> data;
    bool expected;
  } cases[] = {
      {"dword 1", REG_DWORD, {1, 0, 0, 0}, true},
      {"dword 0", REG_DWORD, {0, 0, 0, 0}, false},
      {"string \"1\"", REG_SZ, kSzOne, false},
      {"binary 01 00 00 00", REG_BINARY, {1, 0, 0, 0}, true},
      {"no value", REG_NONE, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveOurKeys();
    Write(kV40Client, c.type, c.data);
    EXPECT_EQ(IsDotNet4Installed(), c.expected);
  }
}

TEST_F(DotNetRegistry, ValueLargerThanTheBufferIsNotInstalled) {
  // The flag's bytes are there, but the value does not fit the probe's buffer.
  std::vector<unsigned char> big(INSTALL_VALUE_BUFFER + 1, 0);
  big[0] = 1;
  Write(kV40Client, REG_BINARY, big);
  EXPECT_FALSE(IsDotNet4Installed());
  big.resize(INSTALL_VALUE_BUFFER);
  Write(kV40Client, REG_BINARY, big);
  EXPECT_TRUE(IsDotNet4Installed());
}

TEST_F(DotNetRegistry, V4NeedsBothClientAndFull) {
  // -1: key absent; otherwise the DWORD written as "Install".
  const struct {
    int v40Client, v4Client, v4Full;
    bool expected;
  } cases[] = {
      {-1, 1, 1, true},  {-1, 1, -1, false}, {-1, -1, 1, false}, {-1, 1, 0, false},
      {-1, 0, 1, false}, {0, 1, 1, true},    {1, 0, 0, true},    {0, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "v4.0\\Client=" << c.v40Client
                                    << " v4\\Client=" << c.v4Client << " v4\\Full=" << c.v4Full);
    RemoveOurKeys();
    if (c.v40Client >= 0) Dword(kV40Client, static_cast<DWORD>(c.v40Client));
    if (c.v4Client >= 0) Dword(kV4Client, static_cast<DWORD>(c.v4Client));
    if (c.v4Full >= 0) Dword(kV4Full, static_cast<DWORD>(c.v4Full));
    EXPECT_EQ(IsDotNet4Installed(), c.expected);
  }
}

TEST_F(DotNetRegistry, V4FlagsWithStringValuesAreNotInstalled) {
  Write(kV4Client, REG_SZ, kSzOne);
  Write(kV4Full, REG_SZ, kSzOne);
  EXPECT_FALSE(IsDotNet4Installed());
  Write(kV4Client, REG_BINARY, {1, 0, 0, 0});
  Write(kV4Full, REG_BINARY, {1, 0, 0, 0});
  EXPECT_TRUE(IsDotNet4Installed());
}

TEST_F(DotNetRegistry, V2IsTheKeyAlone) {
  Write(kV2, REG_NONE, {});
  EXPECT_TRUE(IsDotNet2Installed());
  Dword(kV2, 0);
  EXPECT_TRUE(IsDotNet2Installed());
  EXPECT_FALSE(IsDotNet4Installed());
  RemoveOurKeys();
  Dword(kV4Client, 1);
  Dword(kV4Full, 1);
  EXPECT_FALSE(IsDotNet2Installed());
  EXPECT_TRUE(IsDotNet4Installed());
}

TEST_F(DotNetRegistry, CleanupLeavesNoKeys) {
  Dword(kV40Client, 1);
  Dword(kV4Full, 1);
  Dword(kV2, 1);
  RemoveOurKeys();
  EXPECT_FALSE(KeyExists(kV40Client));
  EXPECT_FALSE(KeyExists(kV4Full));
  EXPECT_FALSE(KeyExists(kV2));
  EXPECT_EQ(KeyExists(kSetup), setup_key_existed_);
}

}  // namespace
