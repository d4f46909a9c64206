// The default parameter lists of open, save, import and export, checked
// against their tables entry by entry.
#include "fapi_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "dry_heap.h"

namespace {

struct Expected {
  IntT prop;
  IntT type;
  IntT value;  // for type 1; other types must hold their zero value
};

// Transcribed from the tables of the operations, position by position.
const std::vector<Expected> kOpen = {
    {1, 1, 0},   {5, 1, 1},  {7, 1, 0},   {8, 1, 0},   {33, 1, 0}, {9, 1, 0},  {10, 1, 0},
    {11, 1, 0},  {13, 1, 0}, {2, 1, 0},   {14, 1, 0},  {15, 1, 0}, {16, 1, 12}, {17, 1, 5},
    {18, 1, 0},  {19, 1, 0}, {20, 1, 0},  {21, 1, 5},  {22, 1, 0}, {23, 1, 0}, {28, 1, 0},
    {24, 1, 0},  {25, 1, 0}, {32, 1, 0},  {26, 1, 1},  {27, 1, 0}, {29, 1, 0}, {6, 1, 0},
    {30, 1, 0},  {4, 1, 0},  {3, 1, 0},   {12, 1, 0},  {31, 3, 0}, {36, 1, 12}, {35, 1, 12},
    {34, 3, 0},  {37, 1, 0}};
const std::vector<Expected> kSave = {
    {1, 1, 0},  {4, 1, 1},    {5, 1, 2}, {6, 1, 2},  {7, 1, 0},  {8, 1, 0},  {10, 1, 0}, {9, 1, 0},
    {11, 1, 1}, {13, 1, 438}, {2, 1, 0}, {12, 1, 0}, {3, 1, 0},  {14, 1, 0}, {15, 20, 0}};
const std::vector<Expected> kImport = {
    {1, 1, 0},   {2, 1, 0},   {4, 1, 5},   {5, 1, 0},  {6, 3, 0},  {7, 1, 0},  {8, 1, 0},
    {9, 1, 0},   {10, 1, 0},  {11, 1, 0},  {12, 1, 0}, {33, 1, 0}, {17, 1, 0}, {13, 1, 1},
    {15, 1, 72}, {14, 1, 1},  {16, 1, 12}, {18, 1, 1}, {32, 1, 1}, {19, 1, 1}, {20, 3, 0},
    {21, 1, 10}, {22, 1, 1},  {23, 1, 1},  {24, 1, 1}, {25, 3, 0}, {26, 1, 1}, {27, 1, 0},
    {29, 3, 0},  {30, 1, 0},  {28, 1, 1},  {31, 1, 1}, {34, 3, 0}, {3, 1, 0}};
const std::vector<Expected> kExport = {
    {1, 1, 0},  {2, 1, 0}, {3, 1, 0},  {4, 1, 0},  {5, 1, 1},    {7, 10, 0},  {6, 1, 8},
    {12, 1, 0}, {8, 1, 0}, {9, 1, 0},  {10, 1, 0}, {11, 1, 1},   {13, 1, 438}, {15, 1, 72},
    {14, 1, 1}, {16, 20, 0}};

struct Case {
  const char *name;
  F_PropValsT (*make)(void);
  const std::vector<Expected> *table;
};

class DefaultList : public testing::TestWithParam<Case> {};

TEST_P(DefaultList, MatchesItsTable) {
  const Case &c = GetParam();
  F_PropValsT list = c.make();
  const auto &table = *c.table;
  ASSERT_EQ(list.len, table.size());
  std::set<IntT> numbers;
  for (UIntT i = 0; i < list.len; ++i) {
    const F_PropValT &pv = list.val[i];
    SCOPED_TRACE(testing::Message() << c.name << " position " << i + 1);
    EXPECT_EQ(pv.propIdent.num, table[i].prop);
    EXPECT_EQ(pv.propIdent.name, nullptr);
    EXPECT_EQ(pv.propVal.valType, table[i].type);
    switch (pv.propVal.valType) {
    case 1: EXPECT_EQ(pv.propVal.u.ival, table[i].value); break;
    case 3: EXPECT_EQ(pv.propVal.u.sval, nullptr); break;
    case 10: {
      F_TextRangeT zero{};
      EXPECT_EQ(std::memcmp(&pv.propVal.u.trval, &zero, sizeof zero), 0);
      break;
    }
    case 20:
      EXPECT_EQ(pv.propVal.u.ffval.str1, nullptr);
      EXPECT_EQ(pv.propVal.u.ffval.str2, nullptr);
      for (UByteT b : pv.propVal.u.ffval.code) EXPECT_EQ(b, 0);
      break;
    }
    numbers.insert(pv.propIdent.num);
  }
  // Every number from 1 to the length, once.
  EXPECT_EQ(numbers.size(), list.len);
  EXPECT_EQ(*numbers.begin(), 1);
  EXPECT_EQ(*numbers.rbegin(), static_cast<IntT>(list.len));

  F_ApiDeallocatePropVals(&list);
  EXPECT_EQ(list.len, 0u);
  EXPECT_EQ(list.val, nullptr);
}

TEST_P(DefaultList, ExhaustedHeapGivesAnEmptyList) {
  F_PropValsT list;
  {
    apilib_test::DryHeap dry;
    list = GetParam().make();
  }
  EXPECT_EQ(list.len, 0u);
  for (IntT n = 0; n <= 40; ++n) EXPECT_EQ(F_ApiGetPropIndex(&list, n), -4);
}

INSTANTIATE_TEST_SUITE_P(
    AllFour, DefaultList,
    testing::Values(Case{"open", F_ApiGetOpenDefaultParams, &kOpen},
                    Case{"save", F_ApiGetSaveDefaultParams, &kSave},
                    Case{"import", F_ApiGetImportDefaultParams, &kImport},
                    Case{"export", F_ApiGetExportDefaultParams, &kExport}),
    [](const testing::TestParamInfo<Case> &i) { return std::string(i.param.name); });

TEST(DefaultLists, TheOpenListAsACallerUsesIt) {
  F_PropValsT list = F_ApiGetOpenDefaultParams();
  EXPECT_EQ(F_ApiGetPropIndex(&list, 1), 0);
  EXPECT_EQ(F_ApiGetPropIndex(&list, 37), 36);
  IntT i = F_ApiGetPropIndex(&list, 16);
  ASSERT_EQ(i, 12);
  EXPECT_EQ(list.val[i].propVal.u.ival, 12);
  // A string set by the caller is released with the list.
  IntT s = F_ApiGetPropIndex(&list, 31);
  ASSERT_GE(s, 0);
  list.val[s].propVal.u.sval = F_ApiCopyString("/tmp/doc.fm");
  F_ApiDeallocatePropVals(&list);
  EXPECT_EQ(list.len, 0u);
}

}  // namespace
