// The default parameter lists of open, save, import and export: each names
// every parameter of its operation once, by number, and is released whole.
#include "fapi_values.h"

#include <gtest/gtest.h>

#include <set>

#include "dry_heap.h"

namespace {

struct Case {
  const char *name;
  F_PropValsT (*make)(void);
  UIntT len;
};

class DefaultList : public testing::TestWithParam<Case> {};

TEST_P(DefaultList, NamesEveryParameterOnce) {
  const Case &c = GetParam();
  F_PropValsT list = c.make();
  ASSERT_EQ(list.len, c.len);
  std::set<IntT> numbers;
  for (UIntT i = 0; i < list.len; ++i) {
    const F_PropValT &pv = list.val[i];
    EXPECT_EQ(pv.propIdent.name, nullptr);
    EXPECT_TRUE(pv.propVal.valType == 1 || pv.propVal.u.sval == nullptr) << c.name << " " << i;
    numbers.insert(pv.propIdent.num);
  }
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
    testing::Values(Case{"open", F_ApiGetOpenDefaultParams, 37},
                    Case{"save", F_ApiGetSaveDefaultParams, 15},
                    Case{"import", F_ApiGetImportDefaultParams, 34},
                    Case{"export", F_ApiGetExportDefaultParams, 16}),
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
