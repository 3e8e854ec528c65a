// The call command's values: arguments read from text by their parameter's
// type, values written as JSON (and read back in the same forms), and the
// method table against the server's own description of the methods.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>

#include "app/inspect/argument_text.h"
#include "app/inspect/remote_methods.h"
#include "app/inspect/value_json.h"
#include "tests/support/temp_dir.h"
#include "trialserver/catalogue_methods.h"
#include "trialserver/versao_table.h"

namespace wardenix {
namespace {

// Every reader's value as a variant, so that one table holds them all.
template <typename T>
std::optional<Variant> as_variant(const Parsed<T>& parsed, Variant (*make)(T)) {
  if (!parsed.value) {
    EXPECT_FALSE(parsed.error.empty());
    return std::nullopt;
  }
  return make(*parsed.value);
}

std::optional<Variant> read(const std::string& type, std::string_view text) {
  if (type == "string") return as_variant(parse_text(text), Variant::from_string);
  if (type == "Integer") return as_variant(parse_integer(text), Variant::from_int32);
  if (type == "Currency") return as_variant(parse_currency(text), Variant::from_currency);
  if (type == "TDateTime") return as_variant(parse_date_time(text), Variant::from_date);
  const auto parsed = parse_variant(text);
  if (!parsed.value) {
    EXPECT_FALSE(parsed.error.empty());
  }
  return parsed.value;
}

Variant date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return Variant::from_date(encode_date_time({y, mo, d, h, mi, s, ms}));
}
Variant text(const UString& value) { return Variant::from_string(value); }
Variant money(std::int64_t scaled) { return Variant::from_currency(Currency{scaled}); }
Variant bytes(std::vector<std::uint8_t> value) { return Variant::from_bytes(std::move(value)); }

struct ReadCase {
  std::string type;
  std::string text;
  std::optional<Variant> expected;  // none: refused
};

std::string nested_arrays(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }
Variant nested(std::size_t depth) {
  Variant inner = Variant::from_elements({});
  for (std::size_t i = 1; i < depth; ++i) inner = Variant::from_elements({inner});
  return inner;
}

const std::vector<ReadCase>& read_cases() {
  constexpr auto kMaxInt64 = std::numeric_limits<std::int64_t>::max();
  constexpr auto kMinInt64 = std::numeric_limits<std::int64_t>::min();
  static const std::vector<ReadCase> cases = {
      {"string", "", text(u"")},
      {"string", "S\xC3\xA3o Paulo", text(u"S\u00E3o Paulo")},
      {"string", "null", text(u"null")},  // a text is never null
      {"Integer", "0", Variant::from_int32(0)},
      {"Integer", "-2147483648", Variant::from_int32(std::numeric_limits<std::int32_t>::min())},
      {"Integer", "2147483647", Variant::from_int32(std::numeric_limits<std::int32_t>::max())},
      {"Integer", "2147483648", std::nullopt},
      {"Integer", "-2147483649", std::nullopt},
      {"Integer", "", std::nullopt},
      {"Integer", "12a", std::nullopt},
      {"Integer", " 1", std::nullopt},
      {"Integer", "1.0", std::nullopt},
      {"Integer", "0x10", std::nullopt},
      {"Currency", "0", money(0)},
      {"Currency", "-12.5", money(-125000)},
      {"Currency", "1.2345", money(12345)},
      {"Currency", "007", money(70000)},
      {"Currency", "922337203685477.5807", money(kMaxInt64)},
      {"Currency", "-922337203685477.5808", money(kMinInt64)},
      {"Currency", "922337203685477.5808", std::nullopt},
      {"Currency", "-922337203685477.5809", std::nullopt},
      {"Currency", "99999999999999999999", std::nullopt},
      {"Currency", "1.23456", std::nullopt},  // no rounding behind the user's back
      {"Currency", "1.", std::nullopt},
      {"Currency", ".5", std::nullopt},
      {"Currency", "-", std::nullopt},
      {"Currency", "1e3", std::nullopt},
      {"Currency", "1,5", std::nullopt},
      {"TDateTime", "2024-02-29", date(2024, 2, 29)},
      {"TDateTime", "2024-02-29T13:45:30.250", date(2024, 2, 29, 13, 45, 30, 250)},
      {"TDateTime", "2024-02-29 13:45", date(2024, 2, 29, 13, 45)},
      {"TDateTime", "1899-12-30T06:00", Variant::from_date(TDateTime{0.25})},
      {"TDateTime", "1899-12-29T12:00", date(1899, 12, 29, 12)},  // before day 0
      {"TDateTime", "12:00", Variant::from_date(TDateTime{0.5})},
      {"TDateTime", "00:00:01.5", date(1899, 12, 30, 0, 0, 1, 500)},
      {"TDateTime", "2023-02-29", std::nullopt},
      {"TDateTime", "2024-13-01", std::nullopt},
      {"TDateTime", "2024-2-29", std::nullopt},
      {"TDateTime", "24:00", std::nullopt},
      {"TDateTime", "12:60", std::nullopt},
      {"TDateTime", "2024-02-29T", std::nullopt},
      {"TDateTime", "2024-02-29T13:45:30.2500", std::nullopt},
      {"TDateTime", "29/02/2024", std::nullopt},
      {"OleVariant", "null", Variant::Null()},
      {"OleVariant", "hex:0aFF", bytes({0x0A, 0xFF})},
      {"OleVariant", "hex:", bytes({})},
      {"OleVariant", "base64:AQID", bytes({1, 2, 3})},
      {"OleVariant", "base64:AQI", bytes({1, 2})},
      {"OleVariant", "base64:AQI=", bytes({1, 2})},
      {"OleVariant", "base64:/w==", bytes({0xFF})},
      {"OleVariant", "true", Variant::from_bool(true)},
      {"OleVariant", " false ", Variant::from_bool(false)},
      {"OleVariant", "42", Variant::from_int32(42)},
      {"OleVariant", "-2147483649", Variant::from_int64(-2147483649LL)},
      {"OleVariant", "-2.5e1", Variant::from_double(-25.0)},
      {"OleVariant", "0.1", Variant::from_double(0.1)},
      {"OleVariant", R"("a\u00e9\n\"")", text(u"a\u00E9\n\"")},
      {"OleVariant", R"("\ud83d\ude00")", text(u"\U0001F600")},
      {"OleVariant", R"([1, ["x"], []])",
       Variant::from_elements({Variant::from_int32(1), Variant::from_elements({text(u"x")}),
                               Variant::from_elements({})})},
      {"OleVariant", R"({"bytes":"0102"})", bytes({1, 2})},
      {"OleVariant", R"({ "date" : "1899-12-31" })", Variant::from_date(TDateTime{1.0})},
      {"OleVariant", R"({"currency":"-0.0001"})", money(-1)},
      {"OleVariant", nested_arrays(60), nested(60)},
      {"OleVariant", "hello", std::nullopt},  // a bare word is no JSON text
      {"OleVariant", "hex:abc", std::nullopt},
      {"OleVariant", "hex:zz", std::nullopt},
      {"OleVariant", "base64:A", std::nullopt},
      {"OleVariant", "base64:AR==", std::nullopt},  // bits left over
      {"OleVariant", "base64:AQ=D", std::nullopt},
      {"OleVariant", "01", std::nullopt},
      {"OleVariant", "1.", std::nullopt},
      {"OleVariant", "1e999", std::nullopt},
      {"OleVariant", "[1,]", std::nullopt},
      {"OleVariant", "1 2", std::nullopt},
      {"OleVariant", R"("open)", std::nullopt},
      {"OleVariant", "\"tab\there\"", std::nullopt},
      {"OleVariant", R"({"other":"x"})", std::nullopt},
      {"OleVariant", R"({"date":"soon"})", std::nullopt},
      {"OleVariant", R"({"bytes":"0102","date":"2024-01-01"})", std::nullopt},
      {"OleVariant", nested_arrays(100), std::nullopt},  // deeper than the reader goes
      {"OleVariant", "@/nonexistent/wardenix/file", std::nullopt},
  };
  return cases;
}

TEST(CallArguments, TextReadsAsItsParametersType) {
  for (const ReadCase& c : read_cases()) {
    SCOPED_TRACE(c.type + " " + c.text);
    const std::optional<Variant> value = read(c.type, c.text);
    ASSERT_EQ(value.has_value(), c.expected.has_value());
    if (value) {
      EXPECT_TRUE(*value == *c.expected);
    }
  }
}

TEST(CallArguments, AFileIsAByteArrayOrADataset) {
  testing::TempDir dir;
  const auto write = [&](const std::string& name, const std::vector<std::uint8_t>& content) {
    const auto path = dir.path() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    return path.string();
  };
  const std::vector<std::uint8_t> packet = trial::versao_packet(2);
  std::vector<std::uint8_t> packet_and_more = packet;
  packet_and_more.insert(packet_and_more.end(), {7, 7, 7});
  const std::string packet_file = write("versao.bin", packet_and_more);
  const std::string other_file = write("other.bin", {1, 2, 3});

  // The packet as `packet` reads it, without what follows; other bytes whole.
  EXPECT_TRUE(parse_variant("@" + packet_file).value == bytes(packet));
  EXPECT_TRUE(parse_variant("@" + other_file).value == bytes({1, 2, 3}));

  const auto dataset = parse_dataset(packet_file);
  ASSERT_TRUE(dataset.value) << dataset.error;
  EXPECT_EQ((*dataset.value)->DSBase()->RowCount(), 2u);
  const auto not_a_packet = parse_dataset(other_file);
  EXPECT_FALSE(not_a_packet.value);
  EXPECT_NE(not_a_packet.error.find("is not a data packet"), std::string::npos) << not_a_packet.error;
  EXPECT_FALSE(parse_dataset(dir.path().string()).value);  // a directory
}

std::string json_of(const Variant& value) {
  JsonWriter json;
  write_variant(json, value);
  return json.text();
}

struct WriteCase {
  Variant value;
  std::string json;
};

TEST(CallValues, VariantsAsJsonReadBackAsTheSameValue) {
  const std::vector<WriteCase> cases = {
      {Variant::Null(), "null"},
      {Variant::from_bool(true), "true"},
      {Variant::from_int32(-5), "-5"},
      {Variant::from_int64(1LL << 40), "1099511627776"},
      {Variant::from_double(0.1), "0.1"},
      {text(u"S\u00E3o \"P\""), R"("São \"P\"")"},
      {money(-1), R"({"currency":"-0.0001"})"},
      {money(std::numeric_limits<std::int64_t>::min()), R"({"currency":"-922337203685477.5808"})"},
      {money(125000), R"({"currency":"12.5"})"},
      {Variant::from_date(TDateTime{0.25}), R"({"date":"1899-12-30T06:00:00.000"})"},
      {date(2024, 2, 29, 13, 45, 30, 250), R"({"date":"2024-02-29T13:45:30.250"})"},
      {bytes({0x0A, 0xFF}), R"({"bytes":"0aff"})"},
      {Variant::from_elements({Variant::from_int32(1), text(u"x"), Variant::Null()}), R"([1,"x",null])"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(json_of(c.value), c.json);
    const auto back = parse_variant(c.json);
    ASSERT_TRUE(back.value) << back.error;
    EXPECT_TRUE(*back.value == c.value);
  }
}

TEST(CallValues, WhatArgumentsCannotBeWrittenStillPrints) {
  VariantArray grid;
  grid.element_type = varInteger;
  grid.bounds = {{0, 1}, {1, 2}};
  for (std::int32_t v : {1, 2, 3, 4}) {
    for (int shift = 0; shift < 32; shift += 8) grid.bytes.push_back(static_cast<std::uint8_t>(v >> shift));
  }
  EXPECT_EQ(json_of(Variant::from_array(grid)), R"({"bounds":[[0,1],[1,2]],"elements":[1,2,3,4]})");
  EXPECT_EQ(json_of(Variant()), R"({"unassigned":true})");
  EXPECT_EQ(json_of(Variant::from_double(std::nan(""))), R"("NaN")");
  EXPECT_EQ(json_of(Variant::from_double(-HUGE_VAL)), R"("-Infinity")");
}

TEST(CallValues, AByteArrayHoldingAPacketPrintsAsThePacket) {
  const std::string json = json_of(bytes(trial::versao_packet(1)));
  EXPECT_EQ(json.rfind(R"({"packet":{"columns":[{"name":"ID",)", 0), 0u) << json;
  EXPECT_NE(json.find(R"("rows":[[1,"1.0.0",1000,1,"Primeira versao"]])"), std::string::npos) << json;
  // Cut short, it is bytes again.
  auto cut = trial::versao_packet(1);
  cut.pop_back();
  EXPECT_EQ(json_of(bytes(cut)).rfind(R"({"bytes":")", 0), 0u);
}

ValueType value_type_of(trial::ArgumentType type) {
  switch (type) {
    case trial::ArgumentType::Text: return ValueType::Text;
    case trial::ArgumentType::Integer: return ValueType::Integer;
    case trial::ArgumentType::Boolean: return ValueType::Boolean;
    case trial::ArgumentType::Double: return ValueType::Double;
    case trial::ArgumentType::DateTime: return ValueType::DateTime;
    case trial::ArgumentType::Currency: return ValueType::Currency;
    case trial::ArgumentType::Variant: return ValueType::OleVariant;
    case trial::ArgumentType::Table: return ValueType::DataSet;
  }
  return ValueType::Text;
}

// The server describes its methods independently of the proxy: both must
// agree on every name, type, direction and result.
TEST(CallMethods, TheTableIsTheServersCatalogue) {
  const auto catalogue = trial::Catalogue();
  const auto methods = remote_methods();
  ASSERT_EQ(methods.size(), catalogue.size());
  for (std::size_t i = 0; i < methods.size(); ++i) {
    const RemoteMethod& method = methods[i];
    const trial::CatalogueMethod& described = catalogue[i];
    SCOPED_TRACE(method_signature(method));
    EXPECT_EQ(from_utf8(method.name), UString(described.name));
    ASSERT_EQ(method.parameters.size(), described.arguments.size());
    for (std::size_t k = 0; k < method.parameters.size(); ++k) {
      EXPECT_EQ(from_utf8(method.parameters[k].name), UString(described.arguments[k].name));
      EXPECT_EQ(method.parameters[k].type, value_type_of(described.arguments[k].type));
      EXPECT_EQ(method.parameters[k].in_out, described.arguments[k].in_out);
    }
    ASSERT_EQ(method.result.has_value(), described.result.has_value());
    if (method.result) {
      EXPECT_EQ(*method.result, value_type_of(*described.result));
    }
  }
}

TEST(CallMethods, NamesMatchWithoutCaseAndSignaturesReadLikeTheDeclaration) {
  const RemoteMethod* method = find_remote_method("_ATUALIZACONTRIBUINTE");
  ASSERT_NE(method, nullptr);
  EXPECT_EQ(method_signature(*method), "_AtualizaContribuinte(vDados: OleVariant; var CodCNT: string): Integer");
  EXPECT_EQ(method_signature(*find_remote_method("liberacurconnection")), "LiberaCurConnection");
  EXPECT_EQ(find_remote_method("_Consulta"), nullptr);
  EXPECT_EQ(find_remote_method("TdtmPrincipal._Consultas"), nullptr);
}

TEST(CallMethods, ARefusedArgumentIsNamedAndNothingIsBound) {
  const RemoteMethod* method = find_remote_method("_GeraRelCertidaoPDF");
  ASSERT_NE(method, nullptr);
  const std::vector<std::string_view> texts = {"1", "2", "3", "4", "5", "6", "seven"};
  const Binding binding = method->bind(texts);
  EXPECT_FALSE(binding.call);
  EXPECT_EQ(binding.argument, 6u);
  EXPECT_NE(binding.error.find("\"seven\" is not an Integer"), std::string::npos) << binding.error;
}

}  // namespace
}  // namespace wardenix
