// The trace (FDK_TRACE): when and how its file is opened, and the form of its lines.  Without a
// connection every call fails at once with FA_errno -1 and still writes its line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <regex>
#include <string>

#include "fapi_calls.h"
#include "fapi_runtime.h"
#include "testsupport.hpp"
#include "trace.hpp"

namespace {

using fdk::test::read_file;
using fdk::test::TempDir;

// Runs f with FDK_TRACE set to value (null: unset) from a fresh start; returns its standard error.
std::string Traced(const char *value, const std::function<void()> &f) {
  if (value != nullptr) setenv("FDK_TRACE", value, 1);
  else unsetenv("FDK_TRACE");
  fdk::trace::reset();
  testing::internal::CaptureStderr();
  f();
  std::string err = testing::internal::GetCapturedStderr();
  fdk::trace::reset();
  unsetenv("FDK_TRACE");
  return err;
}

// The lines of a trace file without their time and process id; a line without them is left out.
std::string Bodies(const std::string &file) {
  static const std::regex line(
      "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{6}Z " +
      std::to_string(getpid()) + " (.*\n)");
  return std::regex_replace(read_file(file), line, "$1", std::regex_constants::format_no_copy);
}

void OneCall() { F_ApiGetInt(0, 5, 1024); }
constexpr char kOneCall[] =
    "call F_ApiGetInt 1064 (docId=0 objId=5 propIdent={num=1024}) -> 0 FA_errno=-1\n";

TEST(Trace, FileIsOpenedForAppendingPrivatelyAndNeverThroughALink) {
  TempDir dir("trace");
  const std::string fresh = dir.file("fresh.log"), kept = dir.write("kept.log", "earlier\n");
  const std::string target = dir.write("target", "not a trace\n"), link = dir.file("link.log");
  const std::string missing = dir.file("no/such/dir.log");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  auto twice = [] {
    OneCall();
    OneCall();  // the file is looked at once: one message at most
  };
  EXPECT_EQ(Traced(nullptr, twice), "");
  EXPECT_EQ(Traced("", twice), "");
  const std::string refused = "FDK_TRACE: cannot open ";
  EXPECT_EQ(Traced(link.c_str(), twice),
            refused + link + " (Too many levels of symbolic links); nothing is traced\n");
  EXPECT_EQ(Traced(missing.c_str(), twice),
            refused + missing + " (No such file or directory); nothing is traced\n");
  EXPECT_EQ(read_file(target), "not a trace\n");
  EXPECT_EQ(Traced(fresh.c_str(), twice), "");
  EXPECT_EQ(Traced(kept.c_str(), twice), "");
  EXPECT_EQ(Bodies(fresh), std::string(kOneCall) + kOneCall);
  EXPECT_EQ(Bodies(kept), std::string(kOneCall) + kOneCall);
  EXPECT_TRUE(read_file(kept).starts_with("earlier\n"));
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Trace, LinesNameTheCallItsArgumentsResultAndErrorCode) {
  const std::string longText(100, 'x');
  IntT codes[] = {3891, 7};
  FmApiNotifyArgT notify{34, 9, const_cast<char *>("a.doc"), 1};
  struct Case {
    std::function<void()> act;
    std::string line;  // after the time and process id
  } cases[] = {
      {OneCall, kOneCall},
      {[] { F_ApiGetIntByName(0, 0, "Name"); },
       "call F_ApiGetIntByName 1064 (docId=0 objId=0 propIdent={num=0 name=\"Name\"}) -> 0 "
       "FA_errno=-1\n"},
      // Strings: escaped, null as null, long ones cut with their length.
      {[] { F_ApiSetString(0, 7, 30, "a\"b\\\n\x01"); },
       "call F_ApiSetString 1071 (docId=0 objId=7 propIdent={num=30} "
       "value=\"a\\\"b\\\\\\n\\x01\") -> -1 FA_errno=-1\n"},
      {[] { F_ApiSetString(0, 7, 30, nullptr); },
       "call F_ApiSetString 1071 (docId=0 objId=7 propIdent={num=30} value=null) -> -1 "
       "FA_errno=-1\n"},
      {[&] { F_ApiHypertextCommand(3, longText.c_str()); },
       "call F_ApiHypertextCommand 1310 (docId=3 command=\"" + longText.substr(0, 64) +
           "\"...(100 bytes)) -> -1 FA_errno=-1\n"},
      // No argument, a bare int, lists, records, results of every shape.
      {[] { F_ApiClientNumber(); }, "call F_ApiClientNumber 1340 () -> -1 FA_errno=-1\n"},
      {[] { F_ApiReturnValue(-10001); },
       "call F_ApiReturnValue 1375 (-10001) -> 0 FA_errno=-1\n"},
      {[&] { F_ApiFcodes(2, codes); },
       "call F_ApiFcodes 1014 (fcodes=[2: 3891 7]) -> -1 FA_errno=-1\n"},
      {[] { F_ApiGetStrings(0, 0, 59); },
       "call F_ApiGetStrings 1072 (docId=0 objId=0 propIdent={num=59}) -> [0] FA_errno=-1\n"},
      {[] {
         F_PropValsT *ret = nullptr;
         F_ApiOpen("/d/m.doc", nullptr, &ret);
       },
       "call F_ApiOpen 1019 (fileName=\"/d/m.doc\" params=[0]) -> 0 FA_errno=-1\n"},
      // A callback, and a line of the application's own.
      {[&] { fdk::trace::callback(7, &notify, fdk::trace::Over::kEntryPoint); },
       "callback 7 notify (notification=34 docId=9 fileName=\"a.doc\" iparm=1) "
       "over=entry-point FA_bailout=0\n"},
      {[] { F_ApiTrace("OK", 3, "bus reply status=%d", 0); },
       "bus reply status=0 \"OK\\0\"\n"},
  };
  TempDir dir("trace");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string file = dir.file(std::to_string(i));
    EXPECT_EQ(Traced(file.c_str(), cases[i].act), "");
    EXPECT_EQ(Bodies(file), cases[i].line);
  }
  // A line longer than a line may be ends with a mark.
  const std::string file = dir.file("long");
  Traced(file.c_str(), [] { F_ApiTrace(nullptr, 0, "%s", std::string(5000, 'y').c_str()); });
  EXPECT_LE(read_file(file).size(), fdk::trace::kLineMax);
  EXPECT_TRUE(read_file(file).ends_with("yyy ...(line cut)\n"));
}

}  // namespace
