// cRegistry against the real registry (under Wine), with HKEY_CURRENT_USER
// redirected to a scratch key that each test creates and deletes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <tuple>
#include <type_traits>

#include "platform/system.h"
#include "raw_registry.h"
#include "settings/registry.h"

namespace settings {
namespace {

using rawreg::BytesOf;
using rawreg::Data;
using rawreg::DWordBytes;

constexpr char kScratch[] = "Software\\niadc-registry-test";
constexpr std::int32_t kFileNotFound = 2;
constexpr std::int32_t kAccessDenied = 5;
constexpr std::int32_t kInvalidHandle = 6;
constexpr std::int32_t kMoreData = 234;
constexpr RootHandle kNoSuchRoot = 0x80000009;
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegQword = 11;

std::string Sub(const std::string& child) { return std::string(kScratch) + "\\" + child; }

// The system's message for `code` as FormatMessageA gives it, line end removed.
std::string SystemMessage(DWORD code) {
  char buffer[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                                 sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rawreg::CreateKey(kScratch);
    reg_.SetSectionKey(kScratch);
    ASSERT_EQ(reg_.SectionKey(), kScratch);
  }

  rawreg::ScratchUser user_;
  cRegistry reg_;
};

// One kind of value with its four accessors on the current key: samples that
// must round-trip, the registry form of the first one, and the kind's zero.
template <typename T>
struct Kind {
  const char* label;
  std::function<T(cRegistry&, const std::string&)> get;
  std::function<void(cRegistry&, const std::string&, const T&)> set;
  std::function<bool(cRegistry&, const std::string&, T&, const T&)> read;
  std::function<bool(cRegistry&, const std::string&, const T&)> write;
  std::vector<T> samples;
  DWORD type;
  Data stored;
  T zero;
};

// Binary values have no read with a default: a failed read leaves the variable.
#define NIADC_KIND(Type, Getter, Stem)                                                          \
  #Stem, [](cRegistry& r, const std::string& n) { return r.Getter(n); },                        \
      [](cRegistry& r, const std::string& n, const Type& v) { r.Set##Getter(n, v); },           \
      [](auto& r, const std::string& n, Type& v, const Type& d) {                               \
        if constexpr (std::is_same_v<Type, Bytes>) return r.ReadBinary(n, v);                   \
        else return r.Read##Stem(n, v, d);                                                      \
      },                                                                                        \
      [](cRegistry& r, const std::string& n, const Type& v) { return r.Write##Stem(n, v); }

using std::numeric_limits;
// clang-format off
const auto kKinds = std::make_tuple(
    Kind<std::string>{NIADC_KIND(std::string, Value, String), {"abc", "Hello, world", ""},
                      REG_SZ, Data{'a', 'b', 'c', 0}, ""},
    Kind<std::int32_t>{NIADC_KIND(std::int32_t, LongValue, Long),
                       {-2, 0, numeric_limits<std::int32_t>::min(), numeric_limits<std::int32_t>::max()},
                       REG_DWORD, Data{0xfe, 0xff, 0xff, 0xff}, 0},
    Kind<std::uint8_t>{NIADC_KIND(std::uint8_t, ByteValue, Byte), {200, 0, 1, 255}, REG_DWORD, DWordBytes(200), 0},
    Kind<std::int16_t>{NIADC_KIND(std::int16_t, IntegerValue, Integer), {-1, 0, 12345, -32768, 32767},
                       REG_DWORD, DWordBytes(65535), 0},
    Kind<bool>{NIADC_KIND(bool, BooleanValue, Boolean), {true, false}, REG_DWORD, DWordBytes(1), false},
    Kind<float>{NIADC_KIND(float, SingleValue, Single), {1.0f, -1.25e-20f, numeric_limits<float>::max()},
                REG_DWORD, DWordBytes(0x3f800000), 0.0f},
    Kind<double>{NIADC_KIND(double, DoubleValue, Double), {1.0, 1.0 / 3.0, -2.5e300, 0.0},
                 REG_BINARY, Data{0, 0, 0, 0, 0, 0, 0xf0, 0x3f}, 0.0},
    Kind<std::int64_t>{NIADC_KIND(std::int64_t, CurrencyValue, Currency),
                       {0x0102030405060708, numeric_limits<std::int64_t>::min()},
                       REG_BINARY, Data{8, 7, 6, 5, 4, 3, 2, 1}, 0},
    Kind<Bytes>{NIADC_KIND(Bytes, BinaryValue, Binary), {Bytes{9, 8, 7}, Bytes{0, 1, 0x7f, 0x80, 0xff}},
                REG_BINARY, Data{9, 8, 7}, Bytes{0}});
// clang-format on
#undef NIADC_KIND

template <typename Check>
void ForEachKind(Check check) {
  std::apply([&](const auto&... kind) { (check(kind), ...); }, kKinds);
}

// ---- position ----

TEST(RegistryPosition, NewObjectStandsAtCurrentUserSoftware) {
  cRegistry reg;
  EXPECT_EQ(reg.RootKey(), kCurrentUser);
  EXPECT_EQ(reg.SectionKey(), "Software");
  EXPECT_EQ(reg.LastErrorCode(), 0);
}

TEST_F(RegistryTest, SectionKeyCreatesAMissingPathAndTakesAnExistingOneAsItIs) {
  rawreg::CreateKey(Sub("there"));
  rawreg::WriteDWord(Sub("there"), "", 7);
  reg_.SetSectionKey(Sub("there"));
  EXPECT_EQ(reg_.LongValue(""), 7);
  const std::string path = Sub("a\\b\\c");
  reg_.SetSectionKey(path);
  EXPECT_EQ(reg_.SectionKey(), path);
  ASSERT_TRUE(reg_.WriteLong("n", 5));
  EXPECT_EQ(rawreg::Read(path, "n")->data, DWordBytes(5));
}

TEST_F(RegistryTest, SectionKeySetToTheCurrentPathDoesNothingAtAll) {
  reg_.SetSectionKey(Sub("gone"));
  rawreg::DeleteTree(Sub("gone"));
  reg_.Value("missing");
  ASSERT_EQ(reg_.LastErrorCode(), kFileNotFound);
  reg_.SetSectionKey(Sub("gone"));
  EXPECT_FALSE(rawreg::KeyExists(Sub("gone"))) << "must not be tested for or created again";
  EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound) << "no registry call expected";
}

TEST_F(RegistryTest, SectionKeyKeepsItsPathWhenTheNewOneCannotBeCreated) {
  // A volatile key cannot have a non-volatile child.
  rawreg::CreateKey(Sub("volatile"), true);
  reg_.SetSectionKey(Sub("volatile\\child"));
  EXPECT_EQ(reg_.SectionKey(), kScratch);
  EXPECT_NE(reg_.LastErrorCode(), 0);
  EXPECT_FALSE(rawreg::KeyExists(Sub("volatile\\child")));
}

TEST_F(RegistryTest, RootKeyMovesOnlyToAnotherRootThatOpens) {
  reg_.SetRootKey(kCurrentUser);
  EXPECT_EQ(reg_.SectionKey(), kScratch) << "the same root keeps the section";
  reg_.SetRootKey(kNoSuchRoot);
  EXPECT_EQ(reg_.RootKey(), kCurrentUser);
  EXPECT_EQ(reg_.SectionKey(), kScratch);
  EXPECT_EQ(reg_.LastErrorCode(), kInvalidHandle);
  reg_.SetRootKey(kLocalMachine);
  EXPECT_EQ(reg_.RootKey(), kLocalMachine);
  EXPECT_EQ(reg_.SectionKey(), "");
  reg_.SetRootKey(kCurrentUser);
  EXPECT_EQ(reg_.RootKey(), kCurrentUser);
  EXPECT_EQ(reg_.SectionKey(), "");
}

// ---- typed values ----

TEST_F(RegistryTest, EveryKindRoundTripsInItsRegistryForm) {
  ForEachKind([&](const auto& kind) {
    SCOPED_TRACE(kind.label);
    for (const auto& sample : kind.samples) {
      ASSERT_TRUE(kind.write(reg_, "w", sample));
      EXPECT_EQ(reg_.LastErrorCode(), 0);
      EXPECT_EQ(kind.get(reg_, "w"), sample);
      kind.set(reg_, "s", sample);
      auto value = kind.zero;
      EXPECT_TRUE(kind.read(reg_, "s", value, kind.zero));
      EXPECT_EQ(value, sample);
    }
    kind.write(reg_, kind.label, kind.samples.front());
    const auto stored = rawreg::Read(kScratch, kind.label);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, kind.type);
    EXPECT_EQ(stored->data, kind.stored);
  });
}

TEST_F(RegistryTest, MissingValuesGiveZerosAndDefaults) {
  ForEachKind([&](const auto& kind) {
    SCOPED_TRACE(kind.label);
    EXPECT_EQ(kind.get(reg_, "missing"), kind.zero);
    EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);
    auto value = kind.samples[0];
    EXPECT_FALSE(kind.read(reg_, "missing", value, kind.samples[1]));
    EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);
    using T = std::decay_t<decltype(kind.zero)>;
    EXPECT_EQ(value, (std::is_same_v<T, Bytes> ? kind.samples[0] : kind.samples[1]));
  });
  std::string text = "kept";
  EXPECT_FALSE(reg_.ReadString("missing", text, ""));
  EXPECT_EQ(text, "kept") << "an empty default leaves the variable as it was";
}

TEST_F(RegistryTest, WritesToAKeyThatIsGoneFailWithItsCode) {
  reg_.SetSectionKey(Sub("gone"));
  rawreg::DeleteTree(Sub("gone"));
  ForEachKind([&](const auto& kind) {
    EXPECT_FALSE(kind.write(reg_, "v", kind.samples[0])) << kind.label;
    EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound) << kind.label;
    kind.set(reg_, "v", kind.samples[0]);
    EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound) << kind.label;
  });
}

TEST_F(RegistryTest, TextsAndNamesCrossTheAnsiCodePage) {
  const std::string text = "Gr\xc3\xb6\xc3\x9f" "e \xc2\xb0" "C";  // "Größe °C" in UTF-8
  const std::string ansi = platform::ToSystemAnsi(text);
  if (platform::FromSystemAnsi(ansi) != text) GTEST_SKIP() << "the ANSI code page cannot hold the sample text";
  const std::string key = Sub("Schl\xc3\xbcssel");
  reg_.SetSectionKey(key);
  ASSERT_EQ(reg_.SectionKey(), key);
  ASSERT_TRUE(reg_.WriteString("Gr\xc3\xb6\xc3\x9f" "e", text));
  EXPECT_EQ(reg_.Value("Gr\xc3\xb6\xc3\x9f" "e"), text);

  // Stored under the converted names, the size being the converted byte count with its NUL.
  const std::string ansi_key = platform::ToSystemAnsi(key);
  const std::string ansi_name = platform::ToSystemAnsi("Gr\xc3\xb6\xc3\x9f" "e");
  const auto stored = rawreg::Read(ansi_key, ansi_name);
  ASSERT_TRUE(stored);
  Data expected = BytesOf(ansi);
  expected.push_back(0);
  EXPECT_EQ(stored->data, expected);
  EXPECT_EQ(rawreg::ReadWide(ansi_key, ansi_name), std::wstring(L"Gr\u00f6\u00dfe \u00b0C"));
}

TEST_F(RegistryTest, ReadsTakeTheStoredBytesWhateverTheirType) {
  rawreg::Write(kScratch, "sz3", REG_SZ, BytesOf(std::string_view("ab\0", 3)));
  rawreg::Write(kScratch, "sz4", REG_SZ, BytesOf(std::string_view("abc\0", 4)));
  rawreg::WriteDWord(kScratch, "dw", 0x00636261);
  rawreg::WriteDWord(kScratch, "hi", 0x12348000);
  rawreg::Write(kScratch, "bin2", REG_BINARY, Data{0x34, 0x12});
  rawreg::Write(kScratch, "nul", REG_SZ, BytesOf(std::string_view("ab\0cd\0", 6)));

  EXPECT_EQ(reg_.LongValue("sz3"), 0x6261);
  EXPECT_EQ(reg_.LongValue("sz4"), 0x00636261);
  EXPECT_EQ(reg_.LongValue("bin2"), 0x1234);
  EXPECT_EQ(reg_.Value("dw"), "abc");
  EXPECT_EQ(reg_.Value("nul"), "ab");
  EXPECT_EQ(reg_.ByteValue("hi"), 0x00);
  EXPECT_EQ(reg_.IntegerValue("hi"), -32768);
  EXPECT_TRUE(reg_.BooleanValue("hi")) << "any non-zero DWORD is true, even with its low bytes 0";
  EXPECT_EQ(reg_.BinaryValue("sz3"), BytesOf(std::string_view("ab\0", 3)));
  EXPECT_EQ(reg_.BinaryValue("dw"), DWordBytes(0x00636261));
  // Doubles and currencies read only values of exactly eight bytes.
  for (const size_t size : {7u, 9u}) {
    rawreg::Write(kScratch, "odd", REG_BINARY, Data(size, 0x11));
    EXPECT_EQ(reg_.DoubleValue("odd"), 0.0) << size;
    EXPECT_EQ(reg_.CurrencyValue("odd"), 0) << size;
    double d = 5;
    std::int64_t c = 5;
    EXPECT_FALSE(reg_.ReadDouble("odd", d, 6.5) || reg_.ReadCurrency("odd", c, 7)) << size;
    EXPECT_EQ(std::make_pair(d, c), std::make_pair(6.5, std::int64_t{7}));
  }
}

TEST_F(RegistryTest, EmptyValuesAreFoundButEmptyBinariesAreUnreadable) {
  rawreg::Write(kScratch, "emptytext", REG_SZ, Data{0});
  rawreg::Write(kScratch, "emptybin", REG_BINARY, Data{});
  std::string text = "kept";
  EXPECT_TRUE(reg_.ReadString("emptytext", text, "fallback"));
  EXPECT_EQ(text, "");

  Bytes bytes{1, 2};
  EXPECT_FALSE(reg_.ReadBinary("emptybin", bytes));
  EXPECT_EQ(bytes, (Bytes{1, 2}));
  EXPECT_EQ(reg_.LastErrorCode(), 0);
  EXPECT_EQ(reg_.BinaryValue("emptybin"), Bytes{0});

  EXPECT_FALSE(reg_.WriteBinary("nothing", Bytes{}));
  EXPECT_FALSE(rawreg::Read(kScratch, "nothing"));
}

// ---- error codes and texts ----

TEST_F(RegistryTest, FailuresLeaveTheSystemCode) {
  std::string text;
  EXPECT_FALSE(reg_.GetStringValue(kCurrentUser, Sub("nokey"), "x", text));
  EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);

  EXPECT_TRUE(reg_.WriteLong("ok", 1));
  EXPECT_EQ(reg_.LastErrorCode(), 0);

  rawreg::Write(kScratch, "eight", REG_BINARY, Data(8, 1));
  std::int32_t value = 99;
  EXPECT_FALSE(reg_.GetDWordValue(kCurrentUser, kScratch, "eight", value));
  EXPECT_EQ(reg_.LastErrorCode(), kMoreData);
  EXPECT_EQ(value, 99);
  EXPECT_FALSE(reg_.ReadLong("eight", value, -1));
  EXPECT_EQ(reg_.LastErrorCode(), kMoreData);

  EXPECT_FALSE(reg_.SetDWordValue(kCurrentUser, Sub("nokey"), "x", 1));
  EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);
  EXPECT_FALSE(reg_.SetStringValue(kNoSuchRoot, "x", "x", "x"));
  EXPECT_EQ(reg_.LastErrorCode(), kInvalidHandle);
}

TEST_F(RegistryTest, ErrorTextsAreTheSystemMessages) {
  reg_.WriteLong("ok", 1);
  const std::string success = SystemMessage(0);
  ASSERT_GT(success.size(), 4u);
  EXPECT_EQ(reg_.LastErrorText(), success.substr(0, success.size() - 1)) << "without its closing period";

  reg_.Value("missing");
  const std::string missing = SystemMessage(2);
  EXPECT_EQ(reg_.LastErrorText(), missing.substr(0, missing.size() - 1));

  EXPECT_EQ(cRegistry::SystemErrorText(2, false), missing);
  EXPECT_EQ(cRegistry::SystemErrorText(2, true), missing.substr(0, missing.find('.')));
  EXPECT_EQ(cRegistry::SystemErrorText(0x2000ffff, false), "") << "a code without a message";
}

// Only a closing period goes: messages in some languages end otherwise.
TEST(RegistryTexts, OnlyAClosingPeriodIsDropped) {
  const std::pair<std::string, std::string> cases[] = {
      {"The operation completed successfully.", "The operation completed successfully"},
      {"Zugriff verweigert", "Zugriff verweigert"},
      {"Done.", "Done"},
      {"Yes.", "Yes."},  // 4 characters: kept whole
      {"", ""}};
  for (const auto& [message, text] : cases) EXPECT_EQ(cRegistry::WithoutClosingPeriod(message), text) << message;
}

TEST(RegistryTexts, RootKeyNamesCoverThePredefinedRootsOnly) {
  const std::pair<RootHandle, const char*> names[] = {
      {kClassesRoot, "HKEY_CLASSES_ROOT"},   {kCurrentUser, "HKEY_CURRENT_USER"},
      {kLocalMachine, "HKEY_LOCAL_MACHINE"}, {kUsers, "HKEY_USERS"},
      {kCurrentConfig, "HKEY_CURRENT_CONFIG"}, {kDynData, "HKEY_DYN_DATA"},
      {kPerformanceData, "HKEY_PERFORMANCE_DATA"}, {0x80000007, ""}, {0x7fffffff, ""}, {0, ""}};
  for (const auto& [root, name] : names) EXPECT_EQ(cRegistry::RootKeyName(root), name) << root;
}

// ---- keys ----

TEST_F(RegistryTest, KeysAreCreatedTestedAndDeleted) {
  EXPECT_FALSE(reg_.KeyExists(kCurrentUser, Sub("k")));
  EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);
  EXPECT_TRUE(reg_.CreateKey(kCurrentUser, Sub("k\\deep"), "about"));
  EXPECT_TRUE(reg_.KeyExists(kCurrentUser, Sub("k\\deep")));
  EXPECT_EQ(rawreg::Read(Sub("k\\deep"), "")->data, BytesOf(std::string_view("about\0", 6)));
  EXPECT_TRUE(reg_.CreateKey(kCurrentUser, Sub("k\\deep"), "")) << "an existing key is opened";
  EXPECT_EQ(rawreg::Read(Sub("k\\deep"), "")->data, BytesOf(std::string_view("about\0", 6)));

  EXPECT_FALSE(reg_.DeleteKey(kCurrentUser, Sub("k"))) << "a key with subkeys stays";
  EXPECT_EQ(reg_.LastErrorCode(), kAccessDenied);
  EXPECT_TRUE(reg_.DeleteKey(kCurrentUser, Sub("k\\deep")));
  EXPECT_FALSE(rawreg::KeyExists(Sub("k\\deep")));
  EXPECT_FALSE(reg_.DeleteKey(kCurrentUser, Sub("k\\deep")));
  EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);
  EXPECT_FALSE(reg_.CreateKey(kNoSuchRoot, "x", ""));
  EXPECT_EQ(reg_.LastErrorCode(), kInvalidHandle);
}

TEST_F(RegistryTest, ValuesAreDeleted) {
  reg_.WriteLong("v", 1);
  EXPECT_TRUE(reg_.DeleteValue(kCurrentUser, kScratch, "v"));
  EXPECT_FALSE(rawreg::Read(kScratch, "v"));
  EXPECT_FALSE(reg_.DeleteValue(kCurrentUser, kScratch, "v"));
  EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);
  EXPECT_FALSE(reg_.DeleteValue(kCurrentUser, Sub("nokey"), "v"));
  EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);
}

// ---- lookup of a value of any type ----

TEST_F(RegistryTest, QueryValueAnswersTheTypeAndTheValue) {
  const struct {
    const char* name;
    DWORD type;
    Data data;
    AnyValue value;
  } cases[] = {
      {"sz", REG_SZ, BytesOf(std::string_view("text\0", 5)), std::string("text")},
      {"expand", REG_EXPAND_SZ, BytesOf(std::string_view("%TEMP%\\x\0", 9)), std::string("%TEMP%\\x")},  // not expanded
      {"multi", REG_MULTI_SZ, BytesOf(std::string_view("one\0two\0\0", 9)), std::string("one\0two\0", 8)},
      {"bin", REG_BINARY, Data{1, 2, 3}, Bytes{1, 2, 3}},
      {"nobytes", REG_BINARY, Data{}, Bytes{}},
      {"dw", REG_DWORD, DWordBytes(0xffffffff), std::int32_t{-1}},
      {"big", REG_DWORD_BIG_ENDIAN, Data{0, 0, 1, 2}, std::int32_t{0x02010000}},  // taken as little-endian
  };
  for (const auto& c : cases) {
    rawreg::Write(kScratch, c.name, c.type, c.data);
    AnyValue value;
    EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, c.name, value), c.type) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
  }
}

TEST_F(RegistryTest, QueryValueMatchesNamesExactlyAndFindsTheDefaultValue) {
  rawreg::WriteDWord(kScratch, "a rather long value name", 1);
  rawreg::WriteDWord(kScratch, "Name", 2);
  rawreg::Write(kScratch, "", REG_SZ, BytesOf(std::string_view("default\0", 8)));
  rawreg::Write(kScratch, "qword", kRegQword, Data(8, 0xaa));

  AnyValue value = std::int32_t{77};
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, "name", value), 0u) << "case matters here";
  EXPECT_EQ(value, AnyValue(std::int32_t{77}));
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, "qword", value), kRegQword);
  EXPECT_EQ(value, AnyValue(std::int32_t{77})) << "other types leave the value as it was";
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, "Name", value), kRegDword);
  EXPECT_EQ(value, AnyValue(std::int32_t{2}));
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, "", value), kRegSz);
  EXPECT_EQ(value, AnyValue(std::string("default")));
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, kScratch, "missing", value), 0u);
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, Sub("nokey"), "Name", value), 0u);
  EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);
  rawreg::CreateKey(Sub("empty"));
  EXPECT_EQ(reg_.QueryValue(kCurrentUser, Sub("empty"), "", value), 0u);
}

// ---- enumerations ----

TEST_F(RegistryTest, EnumerationsListThePathThenTheNames) {
  for (const char* name : {"beta", "alpha", "gamma"}) rawreg::CreateKey(Sub(name));
  rawreg::CreateKey(Sub("alpha\\inner"));
  rawreg::WriteDWord(kScratch, "", 1);
  rawreg::WriteDWord(kScratch, "value one", 2);

  std::vector<std::string> names{"stale"};
  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, kScratch, names), 3);
  std::sort(names.begin() + 1, names.end());
  EXPECT_EQ(names, (std::vector<std::string>{kScratch, "alpha", "beta", "gamma"}));

  EXPECT_EQ(reg_.EnumerateValues(kCurrentUser, kScratch, names), 2);
  std::sort(names.begin() + 1, names.end());
  EXPECT_EQ(names, (std::vector<std::string>{kScratch, "", "value one"}));

  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, Sub("gamma"), names), 0);
  EXPECT_EQ(names, std::vector<std::string>{Sub("gamma")});
  EXPECT_EQ(reg_.EnumerateValues(kCurrentUser, Sub("gamma"), names), 0);
  EXPECT_EQ(names, std::vector<std::string>{Sub("gamma")});

  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, Sub("nokey"), names), 0);
  EXPECT_EQ(names, std::vector<std::string>{Sub("nokey")});
  EXPECT_EQ(reg_.LastErrorCode(), kFileNotFound);
}

TEST_F(RegistryTest, AnEmptyPathEnumeratesTheRootItself) {
  std::vector<std::string> names;
  EXPECT_EQ(reg_.EnumerateSections(kCurrentUser, "", names), 1);
  EXPECT_EQ(names, (std::vector<std::string>{"", "Software"}));
}

// ---- export ----

TEST_F(RegistryTest, ExportWritesEachValueInRegistryFileForm) {
  // Created in name order, so that any enumeration order gives this text.
  rawreg::Write(kScratch, "", REG_SZ, BytesOf(std::string_view("top\0", 4)));
  rawreg::Write(kScratch, "a bin", REG_BINARY, Data{0x00, 0x0f, 0xab, 0x10});
  rawreg::Write(kScratch, "b empty bin", REG_BINARY, Data{});
  rawreg::WriteDWord(kScratch, "c dword", 0xffffffff);
  rawreg::WriteDWord(kScratch, "d small", 0x1a);
  rawreg::Write(kScratch, "e big", REG_DWORD_BIG_ENDIAN, Data{0, 0, 0, 1});
  rawreg::Write(kScratch, "f path", REG_SZ, BytesOf(std::string_view("C:\\Temp\0", 8)));
  rawreg::Write(kScratch, "g blanks", REG_SZ, BytesOf(std::string_view("  padded text  \0", 16)));
  rawreg::Write(kScratch, "h quote", REG_SZ, BytesOf(std::string_view("say \"hi\"\0", 9)));
  rawreg::Write(kScratch, "i multi", REG_MULTI_SZ, BytesOf(std::string_view("one\0two\0\0", 9)));
  rawreg::Write(kScratch, "j expand", REG_EXPAND_SZ, BytesOf(std::string_view("%SystemRoot%\\x\0", 15)));
  rawreg::Write(kScratch, "k empty sz", REG_SZ, Data{});
  rawreg::Write(kScratch, "l back\\slash", REG_SZ, BytesOf(std::string_view("v\0", 2)));
  rawreg::Write(kScratch, "m qword", kRegQword, Data{1, 2, 3, 4, 5, 6, 7, 8});
  rawreg::Write(kScratch, "n none", kRegNone, Data{0xee});

  const std::string expected =
      "\r\n[HKEY_CURRENT_USER\\Software\\niadc-registry-test]\r\n"
      "@=\"top\"\r\n"
      "\"a bin\"=hex:00,0f,ab,10\r\n"
      "\"b empty bin\"=hex:\r\n"
      "\"c dword\"=dword:ffffffff\r\n"
      "\"d small\"=dword:0000001a\r\n"
      "\"e big\"=dword:01000000\r\n"
      "\"f path\"=\"C:\\\\Temp\"\r\n"
      "\"g blanks\"=\"padded text\"\r\n"
      "\"h quote\"=\"say \"hi\"\"\r\n"
      "\"i multi\"=\"one\"\r\n"
      "\"j expand\"=\"%SystemRoot%\\\\x\"\r\n"
      "\"k empty sz\"=\"\"\r\n"
      "\"l back\\slash\"=\"v\"\r\n"
      "\"m qword\"=hex(b):01,02,03,04,05,06,07,08\r\n"
      "\"n none\"=hex(0):ee\r\n";
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, kScratch, false), expected);
}

TEST_F(RegistryTest, ExportOfASubtreeIsDepthFirst) {
  rawreg::CreateKey(Sub("a\\a1"));
  rawreg::CreateKey(Sub("b"));
  rawreg::WriteDWord(Sub("a"), "x", 1);
  rawreg::WriteDWord(Sub("a\\a1"), "y", 2);
  rawreg::WriteDWord(Sub("b"), "z", 3);
  const std::string head = "\r\n[HKEY_CURRENT_USER\\Software\\niadc-registry-test]\r\n";
  const std::string a = "\r\n[HKEY_CURRENT_USER\\Software\\niadc-registry-test\\a]\r\n\"x\"=dword:00000001\r\n";
  const std::string a1 = "\r\n[HKEY_CURRENT_USER\\Software\\niadc-registry-test\\a\\a1]\r\n\"y\"=dword:00000002\r\n";
  const std::string b = "\r\n[HKEY_CURRENT_USER\\Software\\niadc-registry-test\\b]\r\n\"z\"=dword:00000003\r\n";

  EXPECT_EQ(reg_.ExportKey(kCurrentUser, kScratch, true), head + a + a1 + b);
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, kScratch, false), head);
  EXPECT_EQ(reg_.ExportSubkeys(kCurrentUser, kScratch, false), a + b);
  EXPECT_EQ(reg_.ExportSubkeys(kCurrentUser, kScratch, true), a + a1 + b);
  EXPECT_EQ(reg_.ExportSubkeys(kCurrentUser, Sub("b"), true), "");
}

TEST_F(RegistryTest, ExportHeadersNameTheRootAndThePath) {
  const std::string root = reg_.ExportKey(kCurrentUser, "", false);
  EXPECT_EQ(root.rfind("\r\n[HKEY_CURRENT_USER]\r\n", 0), 0u) << root.substr(0, 40);
  EXPECT_EQ(reg_.ExportKey(kCurrentUser, Sub("nokey"), false), "");
  EXPECT_EQ(reg_.ExportKey(kNoSuchRoot, "x", true), "");

  // A root outside the table (here an open key's handle) has no name.
  rawreg::CreateKey(Sub("child"));
  rawreg::WriteDWord(Sub("child"), "v", 0x10);
  HKEY scratch = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, KEY_READ, &scratch), ERROR_SUCCESS);
  const auto handle = static_cast<RootHandle>(reinterpret_cast<std::uintptr_t>(scratch));
  EXPECT_EQ(reg_.ExportKey(handle, "child", false), "\r\n[\\child]\r\n\"v\"=dword:00000010\r\n");
  EXPECT_EQ(reg_.ExportKey(handle, "", true), "\r\n[]\r\n\r\n[\\child]\r\n\"v\"=dword:00000010\r\n");
  RegCloseKey(scratch);
}

}  // namespace
}  // namespace settings
