// Unit tests of OpenFile's pieces and of the main loop's wait.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>

#include "dokfrm.h"
#include "fapi_values.h"
#include "fde_memory.h"

namespace {

// A string made by the helpers, released; "<null>" for none.
std::string Take(StringT s) {
  std::string out = s != nullptr ? s : "<null>";
  F_Free(s);
  return out;
}

// Names end at a slash; unset or too long ones stay; paths are never cut.
TEST(OpenFile, ParseVariable) {
  const std::string big(DOKFRM_PATH_MAX - 3, 'v'), name(DOKFRM_NAME_MAX, 'N');
  for (auto [var, value] : {std::pair{"DOKT_H", "/u/doc"}, {"DOKT_E", ""}, {"DOKT_V", "/v/"},
                            {"DOKT_N.doc", "/named"}, {"DOKT_BIG", big.c_str()},
                            {name.c_str(), "/cut"}})
    ASSERT_EQ(setenv(var, value, 1), 0);
  unsetenv("DOKT_U");
  for (auto [path, expanded] : std::vector<std::pair<std::string, std::string>>{
           {"$DOKT_H/x.doc", "/u/doc/x.doc"}, {"/base/$DOKT_H/x", "/base/u/doc/x"},
           {"a/$DOKT_E/b", "a//b"}, {"$DOKT_H$DOKT_H", "$DOKT_H$DOKT_H"},
           {"$DOKT_V/x", "/v//x"}, {"a$DOKT_V", "a/v/"}, {"$DOKT_U/x", "$DOKT_U/x"},
           {"$DOKT_N.doc", "/named"}, {"a/$", "a/$"}, {"", ""},
           {"/a/$DOKT_BIG", "/a/" + big}, {"/a/$DOKT_BIG/b", "<null>"},
           {"/ab/$DOKT_BIG", "<null>"}, {std::string(DOKFRM_PATH_MAX + 1, 'p'), "<null>"},
           {"x/$" + name + "/y", "x/cut/y"}, {"x/$" + name + "N/y", "x/$" + name + "N/y"}})
    EXPECT_EQ(Take(parseVariable(path.data())), expanded) << path;
  EXPECT_EQ(Take(parseVariable(nullptr)), "");
}

TEST(OpenFile, BasenameAndDirname) {
  for (auto [path, base, dir] : {std::tuple<const char *, std::string, std::string>{
           "/docs/a.doc", "a.doc", "/docs"}, {"a.doc", "a.doc", ""}, {"/b/", "", "/b"}}) {
    EXPECT_EQ(Take(Basename(const_cast<char *>(path))), base);
    EXPECT_EQ(Take(Dirname(const_cast<char *>(path))), dir);
  }
}

// Forced values, then the caller's, strings copied, mismatches skipped.
TEST(OpenFile, MergeOpenParams) {
  F_PropValsT open = F_ApiGetOpenDefaultParams();
  F_PropValsT caller = F_ApiAllocatePropVals(9);
  const IntT nums[] = {5, 16, 16, 31, 31, 16, 99, 16, 34};
  const IntT types[] = {1, 1, 1, FT_String, FT_String, FT_Ints, 1, FT_String, 1};
  const char *texts[] = {"", "", "", "first", "second", "", "", "x", ""};
  for (int i = 0; i < 9; ++i) {
    caller.val[i].propIdent.num = nums[i];
    caller.val[i].propVal.valType = types[i];
    if (types[i] == FT_String)
      caller.val[i].propVal.u.sval = F_ApiCopyString(texts[i]);
    else
      caller.val[i].propVal.u.ival = i == 0 ? 1 : i * 2 + 1;  // 16: 3, then 5; 34: 17
  }
  dokfrm::MergeOpenParams(&open, &caller);
  auto value = [&](IntT num) { return open.val[F_ApiGetPropIndex(&open, num)].propVal; };
  EXPECT_EQ(value(24).u.ival, 11);
  EXPECT_EQ(value(22).u.ival, 1);
  EXPECT_EQ(value(21).u.ival, 5) << "a default is kept";
  EXPECT_EQ(value(5).u.ival, 1) << "the caller's entry overrides a forced value";
  EXPECT_EQ(value(16).u.ival, 5) << "the later entry wins";
  EXPECT_STREQ(value(31).u.sval, "second");
  EXPECT_NE(value(31).u.sval, caller.val[4].propVal.u.sval) << "the list owns its copy";
  EXPECT_EQ(value(34).u.sval, nullptr) << "an integer never lands on a string entry";
  F_ApiDeallocatePropVals(&open);
  F_ApiDeallocatePropVals(&caller);
}

void OnAlarm(int) {}

// Only ready descriptors are reported; none after a signal.
TEST(Loop, WaitReportsOnlyReadyDescriptors) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const uint32_t bit = 1u << fds[0];
  timeval none = {0, 0}, some = {1, 0}, wait = {5, 0};
  EXPECT_EQ(dokfrm::WaitOn(bit, &none), 0u);

  struct sigaction sa {}, old {};
  sa.sa_handler = OnAlarm;  // no SA_RESTART: select fails with EINTR
  ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
  itimerval timer{};
  timer.it_value.tv_usec = 50000;
  ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);
  EXPECT_EQ(dokfrm::WaitOn(bit, &wait), 0u);
  EXPECT_GT(wait.tv_sec, 2) << "the wait ended early, by the signal";
  sigaction(SIGALRM, &old, nullptr);

  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_EQ(dokfrm::WaitOn(bit | (1u << fds[1]), &some), bit);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
