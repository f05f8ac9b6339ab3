// cRegistry against the real registry (under Wine), with HKEY_CURRENT_USER
// redirected to a scratch key that each test creates and deletes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <tuple>

#include "platform/system.h"
#include "raw_registry.h"
#include "settings/registry.h"

namespace settings {
namespace {

using rawreg::Data;
using std::numeric_limits;

constexpr char kScratch[] = "Software\\niadc-registry-test";
constexpr RootHandle kNoSuchRoot = 0x80000009;
constexpr std::uint32_t kRegQword = 11;

std::string Sub(const std::string& child) { return std::string(kScratch) + "\\" + child; }
Data Sz(const std::string& text) { return Data(text.c_str(), text.c_str() + text.size() + 1); }

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rawreg::CreateKey(kScratch);
    reg_.SetSectionKey(kScratch);
  }

  rawreg::ScratchUser user_;
  cRegistry reg_;
};

// One kind of value: its property get and set and its write on the current key,
// samples that must round-trip, the registry form of the first one and the kind's zero.
template <typename T, typename Arg = T>
struct Kind {
  const char* label;
  T (cRegistry::*get)(const std::string&);
  void (cRegistry::*set)(const std::string&, Arg);
  bool (cRegistry::*write)(const std::string&, Arg);
  std::vector<T> samples;
  DWORD type;
  Data stored;
  T zero{};
};
#define NIADC_KIND(Get, Stem) #Stem, &cRegistry::Get, &cRegistry::Set##Get, &cRegistry::Write##Stem

const auto kKinds = std::make_tuple(
    Kind<std::string, const std::string&>{NIADC_KIND(Value, String), {"abc", ""}, REG_SZ, Sz("abc")},
    Kind<std::int32_t>{NIADC_KIND(LongValue, Long), {-2, numeric_limits<std::int32_t>::max()}, REG_DWORD,
                       {0xfe, 0xff, 0xff, 0xff}},
    Kind<std::uint8_t>{NIADC_KIND(ByteValue, Byte), {200, 255}, REG_DWORD, {200, 0, 0, 0}},
    Kind<std::int16_t>{NIADC_KIND(IntegerValue, Integer), {-1, -32768, 32767}, REG_DWORD, {0xff, 0xff, 0, 0}},
    Kind<bool>{NIADC_KIND(BooleanValue, Boolean), {true, false}, REG_DWORD, {1, 0, 0, 0}},
    Kind<float>{NIADC_KIND(SingleValue, Single), {1.0f, -1.25e-20f}, REG_DWORD, {0, 0, 0x80, 0x3f}},
    Kind<double>{NIADC_KIND(DoubleValue, Double), {1.0, -2.5e300}, REG_BINARY, {0, 0, 0, 0, 0, 0, 0xf0, 0x3f}},
    Kind<std::int64_t>{NIADC_KIND(CurrencyValue, Currency), {0x0102030405060708, numeric_limits<std::int64_t>::min()},
                       REG_BINARY, {8, 7, 6, 5, 4, 3, 2, 1}},
    Kind<Bytes, const Bytes&>{NIADC_KIND(BinaryValue, Binary), {{9, 8, 7}, {0, 0x80, 0xff}}, REG_BINARY, {9, 8, 7},
                              Bytes{0}});
#undef NIADC_KIND

TEST_F(RegistryTest, EveryKindRoundTripsInItsRegistryForm) {
  const auto check = [&](const auto& kind) {
    SCOPED_TRACE(kind.label);
    for (const auto& sample : kind.samples) {
      ASSERT_TRUE((reg_.*kind.write)("w", sample));
      EXPECT_EQ((reg_.*kind.get)("w"), sample);
      (reg_.*kind.set)("s", sample);
      EXPECT_EQ((reg_.*kind.get)("s"), sample);
    }
    (reg_.*kind.write)(kind.label, kind.samples.front());
    const auto stored = rawreg::Read(kScratch, kind.label);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, kind.type);
    EXPECT_EQ(stored->data, kind.stored);
    EXPECT_EQ((reg_.*kind.get)("missing"), kind.zero);
    EXPECT_EQ(reg_.LastErrorCode(), 2);
  };
  std::apply([&](const auto&... kind) { (check(kind), ...); }, kKinds);
}

TEST_F(RegistryTest, ReadsWithADefault) {
  std::int32_t number = 0;
  reg_.WriteLong("n", 7);
  EXPECT_TRUE(reg_.ReadLong("n", number, 3));
  EXPECT_EQ(number, 7);
  EXPECT_FALSE(reg_.ReadLong("missing", number, 3));
  EXPECT_EQ(number, 3);
  std::string text = "kept";
  EXPECT_FALSE(reg_.ReadString("missing", text, ""));
  EXPECT_EQ(text, "kept") << "an empty default leaves the variable as it was";
  EXPECT_FALSE(reg_.ReadString("missing", text, "default"));
  EXPECT_EQ(text, "default");
  rawreg::Write(kScratch, "empty text", REG_SZ, {0});
  EXPECT_TRUE(reg_.ReadString("empty text", text, "default"));
  EXPECT_EQ(text, "");
  Bytes bytes{1, 2};
  rawreg::Write(kScratch, "empty bin", REG_BINARY, {});
  EXPECT_FALSE(reg_.ReadBinary("empty bin", bytes));
  EXPECT_EQ(bytes, (Bytes{1, 2}));
  EXPECT_FALSE(reg_.WriteBinary("nothing", Bytes{}));
  reg_.WriteBinary("bin", {5});
  EXPECT_TRUE(reg_.ReadBinary("bin", bytes));
  EXPECT_EQ(bytes, Bytes{5});
}

TEST_F(RegistryTest, ReadsTakeTheStoredBytesWhateverTheirType) {
  rawreg::Write(kScratch, "sz", REG_SZ, Sz("ab"));
  rawreg::Write(kScratch, "two", REG_SZ, Sz(std::string("ab\0cd", 5)));
  rawreg::Write(kScratch, "dw", REG_DWORD, {'a', 'b', 'c', 0});
  rawreg::Write(kScratch, "hi", REG_DWORD, {0, 0x80, 0x34, 0x12});
  EXPECT_EQ(reg_.LongValue("sz"), 0x6261);
  EXPECT_EQ(reg_.Value("dw"), "abc");
  EXPECT_EQ(reg_.Value("two"), "ab");
  EXPECT_EQ(reg_.ByteValue("hi"), 0);
  EXPECT_EQ(reg_.IntegerValue("hi"), -32768);
  EXPECT_TRUE(reg_.BooleanValue("hi")) << "any non-zero DWORD is true, even with its low bytes 0";
  // Doubles and currencies read only values of exactly eight bytes.
  for (const std::size_t size : {7u, 9u}) {
    rawreg::Write(kScratch, "odd", REG_BINARY, Data(size, 0x11));
    double d = 5;
    std::int64_t c = 5;
    EXPECT_FALSE(reg_.ReadDouble("odd", d, 6.5) || reg_.ReadCurrency("odd", c, 7)) << size;
    EXPECT_EQ(std::make_pair(d, c), std::make_pair(6.5, std::int64_t{7}));
  }
}

TEST_F(RegistryTest, TextsAndNamesCrossTheAnsiCodePage) {
  const std::string name = "Gr\xc3\xb6\xc3\x9f" "e";  // "Größe" in UTF-8
  const std::string text = name + " \xc2\xb0" "C";
  if (platform::FromSystemAnsi(platform::ToSystemAnsi(text)) != text) GTEST_SKIP() << "no room for it in the code page";
  reg_.SetSectionKey(Sub("Schl\xc3\xbcssel"));
  ASSERT_TRUE(reg_.WriteString(name, text));
  EXPECT_EQ(reg_.Value(name), text);
  // Read as UTF-16 past every conversion of ours: the text and its one NUL.
  wchar_t stored[32] = {};
  DWORD size = sizeof stored;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\niadc-registry-test\\Schl\u00fcssel", L"Gr\u00f6\u00dfe",
                         RRF_RT_REG_SZ, nullptr, stored, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(stored, size / sizeof(wchar_t)), std::wstring(L"Gr\u00f6\u00dfe \u00b0C", 9));
}

TEST_F(RegistryTest, PositionMovesOnlyToAKeyThatOpensOrIsCreated) {
  EXPECT_EQ(cRegistry().SectionKey(), "Software");
  const std::string deep = Sub("a\\b");
  reg_.SetSectionKey(deep);
  EXPECT_EQ(reg_.SectionKey(), deep);
  EXPECT_TRUE(rawreg::KeyExists(deep));
  RegDeleteTreeA(HKEY_CURRENT_USER, Sub("a").c_str());
  reg_.SetSectionKey(deep);
  EXPECT_FALSE(rawreg::KeyExists(deep)) << "the current path is neither tested nor created again";
  rawreg::CreateKey(Sub("volatile"), true);  // takes no non-volatile child
  reg_.SetSectionKey(Sub("volatile\\child"));
  EXPECT_EQ(reg_.SectionKey(), deep);
  EXPECT_FALSE(rawreg::KeyExists(Sub("volatile\\child")));

  reg_.SetRootKey(kCurrentUser);
  EXPECT_EQ(reg_.SectionKey(), deep) << "the same root keeps the section";
  reg_.SetRootKey(kNoSuchRoot);
  EXPECT_EQ(reg_.RootKey(), kCurrentUser);
  EXPECT_EQ(reg_.LastErrorCode(), 6);
  reg_.SetRootKey(kLocalMachine);
  EXPECT_EQ(reg_.RootKey(), kLocalMachine);
  EXPECT_EQ(reg_.SectionKey(), "");
}

TEST_F(RegistryTest, KeysAndValuesAreCreatedTestedAndDeleted) {
  EXPECT_TRUE(reg_.CreateKey(kCurrentUser, Sub("k\\deep"), "about"));
  EXPECT_TRUE(reg_.CreateKey(kCurrentUser, Sub("k\\deep"), "")) << "an existing key is opened";
  EXPECT_TRUE(reg_.KeyExists(kCurrentUser, Sub("k\\deep")));
  EXPECT_EQ(rawreg::Read(Sub("k\\deep"), "")->data, Sz("about"));
  EXPECT_TRUE(reg_.DeleteKey(kCurrentUser, Sub("k\\deep")));
  EXPECT_FALSE(rawreg::KeyExists(Sub("k\\deep")));
  reg_.WriteLong("v", 1);
  EXPECT_TRUE(reg_.DeleteValue(kCurrentUser, kScratch, "v"));
  EXPECT_FALSE(rawreg::Read(kScratch, "v"));
}

TEST_F(RegistryTest, FailuresLeaveTheSystemCode) {
  rawreg::CreateKey(Sub("parent\\child"));
  rawreg::CreateKey(Sub("read-only"));
  rawreg::MakeReadOnly(Sub("read-only"));
  rawreg::Write(kScratch, "eight", REG_BINARY, Data(8, 1));
  std::string text;
  std::int32_t number = 99;
  const std::pair<std::function<bool()>, std::int32_t> cases[] = {
      {[&] { return reg_.GetStringValue(kCurrentUser, Sub("nokey"), "x", text); }, 2},
      {[&] { return reg_.WriteLong("ok", 1); }, 0},
      {[&] { return reg_.GetDWordValue(kCurrentUser, kScratch, "eight", number); }, 234},
      {[&] { return reg_.SetStringValue(kCurrentUser, Sub("nokey"), "x", "x"); }, 2},
      {[&] { return reg_.SetDWordValue(kCurrentUser, Sub("nokey"), "x", 1); }, 2},
      {[&] { return reg_.SetBinaryValue(kCurrentUser, Sub("nokey"), "x", Bytes{1}); }, 2},
      {[&] { return reg_.SetStringValue(kCurrentUser, Sub("read-only"), "x", "x"); }, 5},
      {[&] { return reg_.SetStringValue(kNoSuchRoot, "x", "x", "x"); }, 6},
      {[&] { return reg_.KeyExists(kCurrentUser, Sub("nokey")); }, 2},
      {[&] { return reg_.CreateKey(kNoSuchRoot, "x", ""); }, 6},
      {[&] { return reg_.DeleteKey(kCurrentUser, Sub("parent")); }, 5},  // it has a subkey
      {[&] { return reg_.DeleteKey(kCurrentUser, Sub("nokey")); }, 2},
      {[&] { return reg_.DeleteValue(kCurrentUser, kScratch, "missing"); }, 2},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].first(), cases[i].second == 0) << i;
    EXPECT_EQ(reg_.LastErrorCode(), cases[i].second) << i;
  }
  EXPECT_EQ(number, 99);
}

TEST_F(RegistryTest, ErrorTextsAreTheSystemMessagesWithoutTheClosingPeriod) {
  const auto message = [](DWORD code) {
    char buffer[512] = {};
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const std::string text(buffer, FormatMessageA(flags, nullptr, code, 0, buffer, sizeof buffer, nullptr));
    return text.substr(0, text.find_last_not_of("\r\n") + 1);
  };
  reg_.WriteLong("ok", 1);
  EXPECT_EQ(reg_.LastErrorText() + ".", message(0));
  reg_.Value("missing");
  EXPECT_EQ(reg_.LastErrorText() + ".", message(2));
  EXPECT_EQ(cRegistry::SystemErrorText(2, false), message(2));
  EXPECT_EQ(cRegistry::SystemErrorText(2, true), message(2).substr(0, message(2).find('.')));
  EXPECT_EQ(cRegistry::SystemErrorText(0x2000ffff, false), "") << "a code without a message";
  EXPECT_EQ(cRegistry::WithoutClosingPeriod("Yes."), "Yes.") << "four characters stay whole";
  EXPECT_EQ(cRegistry::WithoutClosingPeriod("Zugriff verweigert"), "Zugriff verweigert");
}

TEST_F(RegistryTest, QueryValueAnswersTheTypeAndTheValueOfTheExactName) {
  const struct {
    const char* name;
    DWORD type;
    Data data;
    AnyValue value;
  } cases[] = {
      {"", REG_SZ, Sz("default"), std::string("default")},
      {"expand", REG_EXPAND_SZ, Sz("%TEMP%\\x"), std::string("%TEMP%\\x")},  // not expanded
      {"multi", REG_MULTI_SZ, Sz(std::string("one\0two\0", 8)), std::string("one\0two\0", 8)},
      {"bin", REG_BINARY, {1, 2, 3}, Bytes{1, 2, 3}},
      {"nobytes", REG_BINARY, {}, Bytes{}},
      {"dw", REG_DWORD, {0xff, 0xff, 0xff, 0xff}, std::int32_t{-1}},
      {"big", REG_DWORD_BIG_ENDIAN, {0, 0, 1, 2}, std::int32_t{0x02010000}},  // taken as little-endian
      {"qword", kRegQword, Data(8, 0xaa), AnyValue{}},  // other types leave the value
  };
  for (const auto& c : cases) rawreg::Write(kScratch, c.name, c.type, c.data);
  for (const auto& c : cases) {
    AnyValue value;
    EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, c.name, value), c.type) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
  }
  AnyValue value = std::int32_t{77};
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, "DW", value), 0u) << "case matters here";
  EXPECT_EQ(value, AnyValue(std::int32_t{77}));
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, Sub("nokey"), "dw", value), 0u);
  EXPECT_EQ(reg_.LastErrorCode(), 2);
}

TEST_F(RegistryTest, EnumerationsListThePathThenTheNames) {
  for (const char* name : {"beta", "alpha\\inner", "gamma"}) rawreg::CreateKey(Sub(name));
  rawreg::Write(kScratch, "", REG_DWORD, {1, 0, 0, 0});
  rawreg::Write(kScratch, "value one", REG_DWORD, {2, 0, 0, 0});
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, kScratch, names), 3);
  std::sort(names.begin() + 1, names.end());
  EXPECT_EQ(names, (std::vector<std::string>{kScratch, "alpha", "beta", "gamma"}));
  EXPECT_EQ(reg_.EnumerateValues(kCurrentUser, kScratch, names), 2);
  std::sort(names.begin() + 1, names.end());
  EXPECT_EQ(names, (std::vector<std::string>{kScratch, "", "value one"}));
  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, Sub("gamma"), names), 0);
  EXPECT_EQ(names, std::vector<std::string>{Sub("gamma")});
  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, Sub("nokey"), names), 0);
  EXPECT_EQ(reg_.LastErrorCode(), 2);
  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, "", names), 1) << "an empty path is the root itself";
}

TEST_F(RegistryTest, ExportWritesEachValueInRegistryFileForm) {
  // In name order, so that any enumeration order gives this text.
  const struct {
    const char* name;
    DWORD type;
    Data data;
    const char* line;
  } values[] = {
      {"", REG_SZ, Sz("top"), "@=\"top\""},
      {"a bin", REG_BINARY, {0x00, 0x0f, 0xab, 0x10}, "\"a bin\"=hex:00,0f,ab,10"},
      {"b empty bin", REG_BINARY, {}, "\"b empty bin\"=hex:"},
      {"c dword", REG_DWORD, {0xff, 0xff, 0xff, 0xff}, "\"c dword\"=dword:ffffffff"},
      {"d small", REG_DWORD, {0x1a, 0, 0, 0}, "\"d small\"=dword:0000001a"},
      {"e big", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, "\"e big\"=dword:01000000"},
      {"f path", REG_SZ, Sz("C:\\Temp"), "\"f path\"=\"C:\\\\Temp\""},
      {"g blanks", REG_SZ, Sz("  padded text  "), "\"g blanks\"=\"padded text\""},
      {"h quote", REG_SZ, Sz("say \"hi\""), "\"h quote\"=\"say \"hi\"\""},
      {"i multi", REG_MULTI_SZ, Sz(std::string("one\0two\0", 8)), "\"i multi\"=\"one\""},
      {"j expand", REG_EXPAND_SZ, Sz("%SystemRoot%\\x"), "\"j expand\"=\"%SystemRoot%\\\\x\""},
      {"k back\\slash", REG_SZ, Sz("v"), "\"k back\\slash\"=\"v\""},
      {"l qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}, "\"l qword\"=hex(b):01,02,03,04,05,06,07,08"},
  };
  std::string expected = "\r\n[HKEY_CURRENT_USER\\Software\\niadc-registry-test]\r\n";
  for (const auto& v : values) {
    rawreg::Write(kScratch, v.name, v.type, v.data);
    expected += std::string(v.line) + "\r\n";
  }
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, kScratch, false), expected);
}

TEST_F(RegistryTest, ExportOfASubtreeIsDepthFirstUnderHeadersNamingRootAndPath) {
  rawreg::Write(Sub("a"), "x", REG_DWORD, {1, 0, 0, 0});
  rawreg::Write(Sub("a\\a1"), "y", REG_DWORD, {2, 0, 0, 0});
  rawreg::Write(Sub("b"), "z", REG_DWORD, {3, 0, 0, 0});
  const std::string head = "\r\n[HKEY_CURRENT_USER\\Software\\niadc-registry-test";
  const std::string a = head + "\\a]\r\n\"x\"=dword:00000001\r\n";
  const std::string a1 = head + "\\a\\a1]\r\n\"y\"=dword:00000002\r\n";
  const std::string b = head + "\\b]\r\n\"z\"=dword:00000003\r\n";
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, kScratch, true), head + "]\r\n" + a + a1 + b);
  EXPECT_EQ(reg_.ExportSubkeys(kCurrentUser, kScratch, false), a + b);
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, "", false).rfind("\r\n[HKEY_CURRENT_USER]\r\n", 0), 0u);
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, Sub("nokey"), true), "");
  // A root outside the names (here an open key's handle) has none.
  HKEY scratch = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, KEY_READ, &scratch), ERROR_SUCCESS);
  const auto handle = static_cast<RootHandle>(reinterpret_cast<std::uintptr_t>(scratch));
  EXPECT_EQ(reg_.ExportKey(handle, "b", false), "\r\n[\\b]\r\n\"z\"=dword:00000003\r\n");
  RegCloseKey(scratch);
  EXPECT_EQ(cRegistry::RootKeyName(kClassesRoot), "HKEY_CLASSES_ROOT");
  EXPECT_EQ(cRegistry::RootKeyName(kCurrentConfig), "HKEY_CURRENT_CONFIG");
  EXPECT_EQ(cRegistry::RootKeyName(kDynData), "HKEY_DYN_DATA");
  EXPECT_EQ(cRegistry::RootKeyName(kDynData + 1), "");
}

}  // namespace
}  // namespace settings
