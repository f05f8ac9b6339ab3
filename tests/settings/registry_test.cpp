// cRegistry and the settings step against the real registry (under Wine), HKEY_CURRENT_USER
// redirected to a scratch key for each test; values prepared and inspected with Win32 calls alone.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <tuple>

#include "settings/registry.h"
#include "settings/settings.h"

namespace settings {
namespace {

constexpr char kScratch[] = "Software\\niadc-registry-test";
constexpr RootHandle kNoSuchRoot = 0x80000009;

std::string Sub(const std::string& child) { return std::string(kScratch) + "\\" + child; }
Bytes Sz(const std::string& text) { return Bytes(text.c_str(), text.c_str() + text.size() + 1); }

void RawWrite(const std::string& path, const std::string& name, DWORD type, const Bytes& data) {
  const auto size = static_cast<DWORD>(data.size());
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), name.c_str(), type, data.data(), size), ERROR_SUCCESS);
}

std::pair<DWORD, Bytes> RawRead(const std::string& path, const std::string& name) {
  std::pair<DWORD, Bytes> value{0, Bytes(64)};
  DWORD size = 64;
  RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.first,
               value.second.data(), &size);
  value.second.resize(size);
  return value;
}

void MakeReadOnly(const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS) << path;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const char* read_only = "D:P(A;;0x20019;;;WD)";  // KEY_READ for everyone
  ConvertStringSecurityDescriptorToSecurityDescriptorA(read_only, SDDL_REVISION_1, &descriptor, nullptr);
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
  LocalFree(descriptor);
  RegCloseKey(key);
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY key = nullptr;
    RegDeleteTreeA(HKEY_CURRENT_USER, kUser);
    RegCreateKeyExA(HKEY_CURRENT_USER, kUser, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, key), ERROR_SUCCESS);
    RegCloseKey(key);
    reg_.SetSectionKey(kScratch);
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, kUser);
  }

  static constexpr char kUser[] = "Software\\NIADC-Tests\\settings";
  cRegistry reg_;
};

// A value kind: property get and set and write on the current key, samples, the last one's registry form.
template <typename T, typename Arg = T>
struct Kind {
  const char* label;
  T (cRegistry::*get)(const std::string&);
  void (cRegistry::*set)(const std::string&, Arg);
  bool (cRegistry::*write)(const std::string&, Arg);
  std::vector<T> samples;
  DWORD type;
  Bytes stored;
};
#define NIADC_KIND(Get, Stem) #Stem, &cRegistry::Get, &cRegistry::Set##Get, &cRegistry::Write##Stem

const auto kKinds = std::make_tuple(
    Kind<std::string, const std::string&>{NIADC_KIND(Value, String), {"", "abc"}, REG_SZ, Sz("abc")},
    Kind<std::int32_t>{NIADC_KIND(LongValue, Long), {INT32_MAX, -2}, REG_DWORD, {0xfe, 0xff, 0xff, 0xff}},
    Kind<std::uint8_t>{NIADC_KIND(ByteValue, Byte), {255, 200}, REG_DWORD, {200, 0, 0, 0}},
    Kind<std::int16_t>{NIADC_KIND(IntegerValue, Integer), {-32768, 32767, -1}, REG_DWORD, {0xff, 0xff, 0, 0}},
    Kind<bool>{NIADC_KIND(BooleanValue, Boolean), {false, true}, REG_DWORD, {1, 0, 0, 0}},
    Kind<float>{NIADC_KIND(SingleValue, Single), {-1.25e-20f, 1.0f}, REG_DWORD, {0, 0, 0x80, 0x3f}},
    Kind<double>{NIADC_KIND(DoubleValue, Double), {-2.5e300, 1.0}, REG_BINARY, {0, 0, 0, 0, 0, 0, 0xf0, 0x3f}},
    Kind<std::int64_t>{NIADC_KIND(CurrencyValue, Currency), {INT64_MIN, 1}, REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}},
    Kind<Bytes, const Bytes&>{NIADC_KIND(BinaryValue, Binary), {{0, 0x80}, {9, 8, 7}}, REG_BINARY, {9, 8, 7}});
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
    EXPECT_EQ(RawRead(kScratch, "w"), std::make_pair(kind.type, kind.stored));
  };
  std::apply([&](const auto&... kind) { (check(kind), ...); }, kKinds);
}

TEST_F(RegistryTest, ReadsTakeTheStoredBytesWhateverTheirTypeOrGiveTheDefault) {
  RawWrite(kScratch, "sz", REG_SZ, Sz("ab"));
  RawWrite(kScratch, "dw", REG_DWORD, {'a', 'b', 'c', 0});
  RawWrite(kScratch, "hi", REG_DWORD, {0, 0x80, 0x34, 0x12});
  RawWrite(kScratch, "nine", REG_BINARY, Bytes(9, 0x11));
  RawWrite(kScratch, "empty", REG_BINARY, {});
  EXPECT_EQ(reg_.LongValue("sz"), 0x6261);
  EXPECT_EQ(reg_.Value("dw"), "abc");
  EXPECT_EQ(reg_.IntegerValue("hi"), -32768);
  EXPECT_TRUE(reg_.BooleanValue("hi")) << "any non-zero DWORD is true, even with its low bytes 0";
  Bytes bytes;
  EXPECT_TRUE(reg_.ReadBinary("nine", bytes) && bytes == Bytes(9, 0x11));
  EXPECT_EQ(reg_.BinaryValue("empty"), Bytes{0}) << "no bytes cannot be read, nor written";
  EXPECT_FALSE(reg_.WriteBinary("none", Bytes{}));
  double real = 5;
  EXPECT_FALSE(reg_.ReadDouble("nine", real, 6.5) || real != 6.5) << "only eight bytes make a double";
  std::string text = "kept";
  EXPECT_FALSE(reg_.ReadString("missing", text, "") || text != "kept") << "an empty default leaves the variable";
}

TEST_F(RegistryTest, TextsAndNamesCrossTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "the sample's bytes below are those of code page 1252";
  const std::string name = "Gr\xc3\xb6\xc3\x9f" "e";  // "Größe" in UTF-8
  reg_.SetSectionKey(Sub("Schl\xc3\xbcssel"));
  ASSERT_TRUE(reg_.WriteString(name, name + " \xc2\xb0" "C"));
  EXPECT_EQ(reg_.Value(name), name + " \xc2\xb0" "C");
  const Bytes ansi = Sz("Gr\xf6\xdf" "e \xb0" "C");
  EXPECT_EQ(RawRead(Sub("Schl\xfcssel"), "Gr\xf6\xdf" "e"), std::make_pair(DWORD{REG_SZ}, ansi));
}

TEST_F(RegistryTest, PositionMovesOnlyToAKeyThatOpensOrIsCreated) {
  const std::string deep = Sub("a\\b");
  reg_.SetSectionKey(deep);
  RegDeleteTreeA(HKEY_CURRENT_USER, Sub("a").c_str());
  reg_.SetSectionKey(deep);
  EXPECT_FALSE(reg_.KeyExists(kCurrentUser, deep)) << "the current path is neither tested nor created again";
  reg_.SetRootKey(kNoSuchRoot);
  EXPECT_EQ(reg_.RootKey(), kCurrentUser);
  reg_.SetRootKey(kLocalMachine);
  EXPECT_EQ(reg_.RootKey(), kLocalMachine);
  EXPECT_EQ(reg_.SectionKey(), "");
}

TEST_F(RegistryTest, KeysAndValuesAreCreatedAndDeletedOrFailWithTheSystemCode) {
  EXPECT_TRUE(reg_.CreateKey(kCurrentUser, Sub("k\\deep"), "about"));
  EXPECT_TRUE(reg_.CreateKey(kCurrentUser, Sub("k\\deep"), "")) << "an existing key is opened";
  EXPECT_EQ(RawRead(Sub("k\\deep"), ""), std::make_pair(DWORD{REG_SZ}, Sz("about")));
  RawWrite(Sub("read-only"), "eight", REG_BINARY, Bytes(8, 1));
  MakeReadOnly(Sub("read-only"));
  std::string text;
  std::int32_t number = 99;
  Bytes bytes;
  // Each call with the code it leaves, 0 meaning success.
  const std::pair<std::function<bool()>, std::int32_t> cases[] = {
      {[&] { return reg_.GetStringValue(kCurrentUser, Sub("nokey"), "x", text); }, 2},
      {[&] { return reg_.KeyExists(kCurrentUser, Sub("k\\deep")); }, 0},
      {[&] { return reg_.GetDWordValue(kCurrentUser, Sub("read-only"), "eight", number); }, 234},
      {[&] { return reg_.GetBinaryValue(kCurrentUser, kScratch, "missing", bytes); }, 2},
      {[&] { return reg_.SetDWordValue(kCurrentUser, Sub("nokey"), "x", 1); }, 2},
      {[&] { return reg_.SetStringValue(kCurrentUser, Sub("read-only"), "x", "x"); }, 5},
      {[&] { return reg_.CreateKey(kNoSuchRoot, "x", ""); }, 6},
      {[&] { return reg_.DeleteKey(kCurrentUser, Sub("k")); }, 5},  // it has a subkey
      {[&] { return reg_.DeleteKey(kCurrentUser, Sub("k\\deep")); }, 0},
      {[&] { return reg_.KeyExists(kCurrentUser, Sub("k\\deep")); }, 2},
      {[&] { return reg_.WriteLong("v", 1); }, 0},
      {[&] { return reg_.DeleteValue(kCurrentUser, kScratch, "v"); }, 0},
      {[&] { return reg_.DeleteValue(kCurrentUser, kScratch, "v"); }, 2},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].first(), cases[i].second == 0) << i;
    EXPECT_EQ(reg_.LastErrorCode(), cases[i].second) << i;
  }
  EXPECT_EQ(reg_.LastErrorText() + ".", cRegistry::SystemErrorText(2, false));
  EXPECT_EQ(cRegistry::SystemErrorText(2, true) + ".", cRegistry::SystemErrorText(2, false));
}

TEST_F(RegistryTest, ValuesAndSubtreesAreQueriedEnumeratedAndExported) {
  using S = std::string;
  const struct {
    const char* name;
    DWORD type;
    Bytes data;
    AnyValue value;
    const char* line;
  } values[] = {  // in name order, so that any enumeration order gives this text
      {"", REG_SZ, Sz("top"), S("top"), "@=\"top\""},
      {"a bin", REG_BINARY, {0x00, 0x0f, 0xab, 0x10}, Bytes{0, 0x0f, 0xab, 0x10}, "\"a bin\"=hex:00,0f,ab,10"},
      {"c dword", REG_DWORD, {0xff, 0xff, 0xff, 0xff}, std::int32_t{-1}, "\"c dword\"=dword:ffffffff"},
      {"e big", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, std::int32_t{0x01000000}, "\"e big\"=dword:01000000"},
      {"f path", REG_SZ, Sz("C:\\Temp"), S("C:\\Temp"), "\"f path\"=\"C:\\\\Temp\""},
      {"g blanks", REG_SZ, Sz("  padded  "), S("  padded  "), "\"g blanks\"=\"padded\""},
      {"h quote", REG_SZ, Sz("say \"hi\""), S("say \"hi\""), "\"h quote\"=\"say \"hi\"\""},
      {"i multi", REG_MULTI_SZ, Sz(S("one\0two\0", 8)), S("one\0two\0", 8), "\"i multi\"=\"one\""},
      {"j expand", REG_EXPAND_SZ, Sz("%TEMP%\\x"), S("%TEMP%\\x"), "\"j expand\"=\"%TEMP%\\\\x\""},
      {"k back\\slash", REG_SZ, Sz("v"), S("v"), "\"k back\\slash\"=\"v\""},
      {"l qword", 11, {1, 2, 3, 4, 5, 6, 7, 8}, AnyValue{}, "\"l qword\"=hex(b):01,02,03,04,05,06,07,08"},
  };
  const std::string head = "\r\n[HKEY_CURRENT_USER\\Software\\niadc-registry-test";
  std::string top = head + "]\r\n";
  for (const auto& v : values) {
    RawWrite(kScratch, v.name, v.type, v.data);
    top += S(v.line) + "\r\n";
  }
  RawWrite(Sub("a"), "x", REG_DWORD, {1, 0, 0, 0});
  RawWrite(Sub("a\\a1"), "y", REG_DWORD, {2, 0, 0, 0});
  RawWrite(Sub("b"), "z", REG_DWORD, {3, 0, 0, 0});
  const std::string a = head + "\\a]\r\n\"x\"=dword:00000001\r\n";
  const std::string a1 = head + "\\a\\a1]\r\n\"y\"=dword:00000002\r\n";
  const std::string b = head + "\\b]\r\n\"z\"=dword:00000003\r\n";
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, kScratch, false), top);
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, kScratch, true), top + a + a1 + b) << "depth first";
  EXPECT_EQ(reg_.ExportSubkeys(kCurrentUser, kScratch, false), a + b);
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, "", false).rfind("\r\n[HKEY_CURRENT_USER]\r\n", 0), 0u);
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, Sub("nokey"), true), "");
  EXPECT_EQ(cRegistry::RootKeyName(kCurrentConfig), "HKEY_CURRENT_CONFIG");
  EXPECT_EQ(cRegistry::RootKeyName(kDynData + 1), "");
  for (const auto& v : values) {
    AnyValue value;
    EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, v.name, value), v.type) << v.name;
    EXPECT_EQ(value, v.value) << v.name;
  }
  AnyValue value;
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, "C DWORD", value), 0u) << "case matters here";
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, kScratch, names), 2);
  std::sort(names.begin() + 1, names.end());
  EXPECT_EQ(names, (std::vector<std::string>{kScratch, "a", "b"}));
  EXPECT_EQ(reg_.EnumerateValues(kCurrentUser, Sub("a"), names), 1);
  EXPECT_EQ(names, (std::vector<std::string>{Sub("a"), "x"}));
  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, Sub("nokey"), names), 0);
  EXPECT_EQ(names, std::vector<std::string>{Sub("nokey")});
  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, "", names), 1) << "an empty path is the root itself";
}

constexpr char kKey[] = "Software\\Kvel\\ADC\\NI\\NI-DAQmx-Task";
constexpr char kName[] = "NI-DAQmx-Task";

TEST_F(RegistryTest, SettingsCreateTheChainWithOnlyTheInstanceName) {
  SettingsState state;
  std::string instance_name;
  InitSettings(state, instance_name, kName);
  EXPECT_EQ(instance_name, kName);
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, "Software\\Kvel", true),
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel\\ADC]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel\\ADC\\NI]\r\n"
            "\r\n[HKEY_CURRENT_USER\\Software\\Kvel\\ADC\\NI\\NI-DAQmx-Task]\r\n@=\"NI-DAQmx-Task\"\r\n");
  const cRegistry* first = state.mRegistry.get();
  instance_name = "Given";
  InitSettings(state, instance_name, kName);
  EXPECT_EQ(instance_name, "Given") << "only an empty instance name takes the name";
  EXPECT_EQ(state.mRegistry.get(), first) << "the accessor is reused";
}

// On a read-only key an attempted write leaves access denied (5), where the read before it leaves 0.
TEST_F(RegistryTest, SettingsWriteOnlyADifferentDefaultValueAndBearARefusal) {
  const std::pair<std::optional<std::string>, std::int32_t> cases[] = {
      {kName, 0}, {std::string("NI-DAQmx-Task\0tail", 18), 0}, {"ni-daqmx-task", 5}, {std::nullopt, 5}};
  for (const auto& [stored, code] : cases) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Kvel");
    RawWrite(kKey, stored ? "" : "other", REG_SZ, Sz(stored.value_or("")));
    MakeReadOnly(kKey);
    SettingsState state;
    std::string instance_name;
    InitSettings(state, instance_name, kName);
    EXPECT_EQ(state.mRegistry->SectionKey(), kKey);
    EXPECT_EQ(state.mRegistry->LastErrorCode(), code) << stored.value_or("no default value");
  }
}

TEST_F(RegistryTest, SettingsKeyThatCannotBeCreatedLeavesEveryOtherKeyAlone) {
  RawWrite("Software", "", REG_SZ, Sz("foreign"));
  HKEY key = nullptr;  // a volatile key, which refuses the driver's non-volatile one
  RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kvel\\ADC\\NI", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                  nullptr, &key, nullptr);
  RegCloseKey(key);
  SettingsState state;
  std::string instance_name;
  InitSettings(state, instance_name, kName);
  EXPECT_FALSE(reg_.KeyExists(kCurrentUser, kKey));
  EXPECT_EQ(state.mRegistry->SectionKey(), "Software") << "the accessor's first position";
  EXPECT_EQ(RawRead("Software", ""), std::make_pair(DWORD{REG_SZ}, Sz("foreign")));
}

}  // namespace
}  // namespace settings
