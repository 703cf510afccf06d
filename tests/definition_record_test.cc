#include "run/definition_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tkw {
namespace {

using namespace std::string_literals;

struct RecordCase {
  const char* what;
  std::wstring data;  // as many characters as the read reported, NUL included
  std::vector<std::wstring> fields;
};

class SplitDefinitionRecordTest : public testing::TestWithParam<RecordCase> {};

TEST_P(SplitDefinitionRecordTest, SplitsAsTheRegistryHandsIt) {
  EXPECT_EQ(SplitDefinitionRecord(GetParam().data), GetParam().fields) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Records, SplitDefinitionRecordTest,
    testing::Values(
        RecordCase{"string with its NUL", L"Bar,Cap,Mac\0"s, {L"Bar", L"Cap", L"Mac"}},
        RecordCase{"data without a NUL", L"Bar,Cap", {L"Bar", L"Cap"}},
        RecordCase{"empty string", L"\0"s, {}}, RecordCase{"no data at all", L"", {}},
        RecordCase{"only blanks", L"   ", {}},
        RecordCase{"blanks before the NUL stay in the last field", L" a,b  \0"s, {L"a", L"b  "}},
        RecordCase{"blanks after the NUL go", L"a,b\0  "s, {L"a", L"b"}},
        RecordCase{"blanks beside a comma belong to the fields", L"a , b", {L"a ", L" b"}},
        RecordCase{"empty fields", L",,\0"s, {L"", L"", L""}},
        RecordCase{"one NUL only is dropped", L"a,b\0\0"s, {L"a", L"b\0"s}},
        RecordCase{"no comma is one field", L"abc\0"s, {L"abc"}},
        RecordCase{"leading blanks of the record go", L"  a\0"s, {L"a"}},
        RecordCase{"tabs are no blanks", L"\ta,b\t\0"s, {L"\ta", L"b\t"}}));

}  // namespace
}  // namespace tkw
