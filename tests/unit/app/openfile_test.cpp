// Unit tests of the path helpers and of the open-parameter merge of
// OpenFile: $NAME expansion with its bounds, Basename, Dirname, the forced
// open parameters and the caller's list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "dokfrm.h"
#include "fapi_values.h"
#include "fde_memory.h"

namespace {

// Takes a string made by the helpers and releases it.
std::string Take(StringT s) {
  EXPECT_NE(s, nullptr);
  std::string out = s != nullptr ? s : "<null>";
  F_Free(s);
  return out;
}

std::string Expand(const char *path) { return Take(parseVariable(const_cast<char *>(path))); }

// Sets or removes environment variables for the duration of one test.
class EnvTest : public ::testing::Test {
 protected:
  void Set(const char *name, const char *value) {
    saved_.push_back(name);
    ASSERT_EQ(setenv(name, value, 1), 0);
  }
  void Unset(const char *name) {
    saved_.push_back(name);
    unsetenv(name);
  }
  void TearDown() override {
    for (const std::string &name : saved_) unsetenv(name.c_str());
  }

 private:
  std::vector<std::string> saved_;
};

using ParseVariable = EnvTest;

TEST_F(ParseVariable, ExpandsReferencesWithoutDoublingTheSlash) {
  Set("DOKT_HOME", "/u/doc");
  Set("DOKT_D", "/sub");
  Set("DOKT_E", "");
  EXPECT_EQ(Expand("$DOKT_HOME/x.doc"), "/u/doc/x.doc");
  EXPECT_EQ(Expand("/base/$DOKT_D/x"), "/base/sub/x");
  EXPECT_EQ(Expand("a/$DOKT_E/b"), "a//b");
  EXPECT_EQ(Expand("$DOKT_D$DOKT_D"), "$DOKT_D$DOKT_D") << "the name runs up to the next slash";
  EXPECT_EQ(Expand("plain/path"), "plain/path");
  EXPECT_EQ(Take(parseVariable(nullptr)), "");
}

TEST_F(ParseVariable, DropsOnlyTheValuesFirstSlash) {
  Set("DOKT_V", "/v/");
  Set("DOKT_W", "//w");
  EXPECT_EQ(Expand("$DOKT_V/x"), "/v//x");
  EXPECT_EQ(Expand("a/$DOKT_W"), "a//w");
  EXPECT_EQ(Expand("a$DOKT_V"), "a/v/") << "no slash before the value: kept whole";
}

TEST_F(ParseVariable, LeavesUnsetReferencesAsWritten) {
  Unset("DOKT_U");
  Set("DOKT_N.doc", "/named");
  EXPECT_EQ(Expand("$DOKT_U/x.doc"), "$DOKT_U/x.doc");
  EXPECT_EQ(Expand("$DOKT_N.doc"), "/named") << "a name may hold a dot";
  EXPECT_EQ(Expand("a/$"), "a/$") << "the empty name is not set";
}

// A cut path or a cut name would name another file: a path that does not
// fit is refused, a name that does not fit is never looked up.
TEST_F(ParseVariable, NeverCutsPathsOrNames) {
  std::string fits(DOKFRM_PATH_MAX, 'p');
  EXPECT_EQ(Expand(fits.c_str()), fits);
  EXPECT_EQ(parseVariable(const_cast<char *>((fits + "p").c_str())), nullptr);

  Set("DOKT_BIG", std::string(DOKFRM_PATH_MAX - 3, 'v').c_str());
  EXPECT_EQ(Expand("/a/$DOKT_BIG"), "/a/" + std::string(DOKFRM_PATH_MAX - 3, 'v'));
  EXPECT_EQ(parseVariable(const_cast<char *>("/a/$DOKT_BIG/b")), nullptr);
  EXPECT_EQ(parseVariable(const_cast<char *>("/ab/$DOKT_BIG")), nullptr);

  // A name of 127 characters is looked up; a longer one whose first 127
  // characters name a variable stays as written.
  std::string name(DOKFRM_NAME_MAX, 'N');
  Set(name.c_str(), "/cut");
  EXPECT_EQ(Expand(("x/$" + name + "/y").c_str()), "x/cut/y");
  EXPECT_EQ(Expand(("x/$" + name + "N/y").c_str()), "x/$" + name + "N/y");
  std::string other(300, 'Q');
  EXPECT_EQ(Expand(("$" + other).c_str()), "$" + other);
}

TEST(PathNames, BasenameAndDirname) {
  auto base = [](const char *p) { return Take(Basename(const_cast<char *>(p))); };
  auto dir = [](const char *p) { return Take(Dirname(const_cast<char *>(p))); };
  EXPECT_EQ(base("/docs/intro.doc"), "intro.doc");
  EXPECT_EQ(base("$D/x/intro.doc"), "intro.doc");
  EXPECT_EQ(base("intro.doc"), "intro.doc");
  EXPECT_EQ(base("dir/"), "");
  EXPECT_EQ(Take(Basename(nullptr)), "");
  EXPECT_EQ(dir("a/b/c"), "a/b");
  EXPECT_EQ(dir("/c"), "");
  EXPECT_EQ(dir("nodir"), "");
  EXPECT_EQ(dir("/a/b/"), "/a/b");
  EXPECT_EQ(Take(Dirname(nullptr)), "");
}

// ---------------------------------------------------------------------------
// The open-parameter merge.

class OpenParams : public ::testing::Test {
 protected:
  void SetUp() override {
    open_ = F_ApiGetOpenDefaultParams();
    ASSERT_EQ(open_.len, 37u);
  }
  void TearDown() override {
    F_ApiDeallocatePropVals(&open_);
    F_ApiDeallocatePropVals(&caller_);
  }
  F_TypedValT &Value(IntT num) {
    IntT i = F_ApiGetPropIndex(&open_, num);
    EXPECT_GE(i, 0) << "property " << num;
    return open_.val[i < 0 ? 0 : i].propVal;
  }
  void Caller(std::initializer_list<F_PropValT> entries) {
    caller_ = F_ApiAllocatePropVals(static_cast<IntT>(entries.size()));
    UIntT k = 0;
    for (const F_PropValT &e : entries) caller_.val[k++] = e;
  }
  static F_PropValT Int(IntT num, IntT value) {
    F_PropValT e{};
    e.propIdent.num = num;
    e.propVal.valType = 1;
    e.propVal.u.ival = value;
    return e;
  }
  static F_PropValT Str(IntT num, const char *value) {
    F_PropValT e{};
    e.propIdent.num = num;
    e.propVal.valType = FT_String;
    e.propVal.u.sval = F_ApiCopyString(value);
    return e;
  }

  F_PropValsT open_{};
  F_PropValsT caller_{};
};

TEST_F(OpenParams, ForcesThreeValuesAndKeepsTheRest) {
  dokfrm::MergeOpenParams(&open_, &caller_);
  EXPECT_EQ(Value(24).u.ival, 11);
  EXPECT_EQ(Value(5).u.ival, 0);
  EXPECT_EQ(Value(22).u.ival, 1);
  EXPECT_EQ(Value(16).u.ival, 12);
  EXPECT_EQ(Value(21).u.ival, 5);
  EXPECT_FALSE(dokfrm::IsBackgroundOpen(&caller_));
}

TEST_F(OpenParams, CallerEntriesOverrideInOrder) {
  Caller({Int(5, 1), Int(16, 3), Int(16, 7), Int(24, 2)});
  dokfrm::MergeOpenParams(&open_, &caller_);
  EXPECT_EQ(Value(5).u.ival, 1) << "a caller's entry overrides a forced value";
  EXPECT_EQ(Value(16).u.ival, 7) << "the later entry wins";
  EXPECT_EQ(Value(24).u.ival, 2);
  EXPECT_FALSE(dokfrm::IsBackgroundOpen(&caller_));
}

TEST_F(OpenParams, StringsAreCopiedAndReplaced) {
  Caller({Str(31, "first"), Str(34, "other"), Str(31, "second")});
  dokfrm::MergeOpenParams(&open_, &caller_);
  ASSERT_NE(Value(31).u.sval, nullptr);
  EXPECT_STREQ(Value(31).u.sval, "second");
  EXPECT_NE(Value(31).u.sval, caller_.val[2].propVal.u.sval) << "the list owns its copy";
  EXPECT_STREQ(Value(34).u.sval, "other");
  EXPECT_STREQ(caller_.val[0].propVal.u.sval, "first") << "the caller's list is unchanged";
  // Both lists are released in TearDown; the leak checker sees the replaced
  // copy of "first" freed and no string freed twice.
}

TEST_F(OpenParams, SkipsEntriesThatDoNotFit) {
  F_PropValT points{};
  points.propIdent.num = 16;
  points.propVal.valType = FT_Ints;  // a list type: skipped
  Caller({points, Int(99, 4), Str(16, "not a number"), Int(31, 1234)});
  dokfrm::MergeOpenParams(&open_, &caller_);
  EXPECT_EQ(Value(16).valType, 1);
  EXPECT_EQ(Value(16).u.ival, 12);
  EXPECT_EQ(Value(31).valType, FT_String);
  EXPECT_EQ(Value(31).u.sval, nullptr) << "an integer never lands on a string entry";
  EXPECT_EQ(open_.len, 37u);
}

TEST_F(OpenParams, EmptyDefaultListIsLeftAlone) {
  F_PropValsT empty{0, nullptr};
  Caller({Int(5, 0)});
  dokfrm::MergeOpenParams(&empty, &caller_);
  EXPECT_EQ(empty.len, 0u);
  dokfrm::MergeOpenParams(&open_, nullptr);
  EXPECT_EQ(Value(24).u.ival, 11);
}

TEST_F(OpenParams, BackgroundOpenIsPropertyFiveAtZero) {
  Caller({Int(7, 0), Int(5, 0)});
  EXPECT_TRUE(dokfrm::IsBackgroundOpen(&caller_));
  F_ApiDeallocatePropVals(&caller_);
  Caller({Int(5, 1), Int(6, 0)});
  EXPECT_FALSE(dokfrm::IsBackgroundOpen(&caller_));
  EXPECT_FALSE(dokfrm::IsBackgroundOpen(nullptr));
}

}  // namespace
