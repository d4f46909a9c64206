// The trace (FDK_TRACE): when and how its file is opened, and the form of
// its lines.  The call functions run without a connection, so every call
// fails at once with FA_errno -1 and still writes its line.
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

// Runs f with FDK_TRACE set to value (null: unset) from a fresh start;
// returns what f wrote on standard error.
std::string Traced(const char *value, const std::function<void()> &f) {
  if (value != nullptr) setenv("FDK_TRACE", value, 1);
  else unsetenv("FDK_TRACE");
  fdk::trace::reset();
  FA_errno = 0;
  testing::internal::CaptureStderr();
  f();
  std::string err = testing::internal::GetCapturedStderr();
  fdk::trace::reset();
  unsetenv("FDK_TRACE");
  return err;
}

std::string Body(const std::string &line) {
  static const std::regex prefix(
      "^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{6}Z " +
      std::to_string(getpid()) + " ");
  std::smatch m;
  if (!std::regex_search(line, m, prefix)) return "no prefix: " + line;
  return m.suffix();
}

void OneCall() { F_ApiGetInt(0, 5, 1024); }
constexpr char kOneCall[] =
    "call F_ApiGetInt 1064 (docId=0 objId=5 propIdent={num=1024}) -> 0 FA_errno=-1\n";

TEST(Trace, FileIsOpenedForAppendingPrivatelyAndNeverThroughALink) {
  TempDir dir("trace");
  std::string fresh = dir.file("fresh.log");
  std::string kept = dir.write("kept.log", "earlier line\n");
  std::string target = dir.write("target", "not a trace\n");
  std::string link = dir.file("link.log");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  std::string missing = dir.file("no/such/dir.log");

  struct Case {
    const char *name;
    const char *value;    // FDK_TRACE
    std::string file;     // where the line must (or must not) land
    std::string before;   // its content before
    bool traced;
  } cases[] = {
      {"unset", nullptr, fresh, "", false},
      {"empty", "", fresh, "", false},
      {"new file", fresh.c_str(), fresh, "", true},
      {"existing file", kept.c_str(), kept, "earlier line\n", true},
      {"symbolic link", link.c_str(), target, "not a trace\n", false},
      {"missing directory", missing.c_str(), missing, "", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string err = Traced(c.value, [] {
      OneCall();
      OneCall();  // the file is looked at once: one message at most
    });
    bool refused = c.value != nullptr && c.value[0] != '\0' && !c.traced;
    if (refused) {
      EXPECT_EQ(err, "FDK_TRACE: cannot open " + std::string(c.value) + " (" +
                         (c.file == target ? "Too many levels of symbolic links"
                                           : "No such file or directory") +
                         "); nothing is traced\n");
    } else {
      EXPECT_EQ(err, "");
    }
    std::string content = read_file(c.file);
    ASSERT_EQ(content.compare(0, c.before.size(), c.before), 0) << content;
    std::string added = content.substr(c.before.size());
    if (c.traced) {
      size_t nl = added.find('\n');
      ASSERT_NE(nl, std::string::npos);
      EXPECT_EQ(Body(added.substr(0, nl + 1)), kOneCall);
      EXPECT_EQ(added.substr(nl + 1).size(), nl + 1) << "two lines, one per call";
    } else {
      EXPECT_EQ(added, "");
    }
  }
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
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
      {[] { F_ApiGetTextLoc(1, 2, 879); },
       "call F_ApiGetTextLoc 1268 (docId=1 objId=2 propIdent={num=879}) -> {objId=0 offset=0} "
       "FA_errno=-1\n"},
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
  std::string file = dir.file("lines.log");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    size_t before = read_file(file).size();
    EXPECT_EQ(Traced(file.c_str(), c.act), "");
    EXPECT_EQ(Body(read_file(file).substr(before)), c.line);
  }
  // A line longer than a line may be ends with a mark.
  size_t before = read_file(file).size();
  Traced(file.c_str(), [] { F_ApiTrace(nullptr, 0, "%s", std::string(5000, 'y').c_str()); });
  std::string cut = read_file(file).substr(before);
  EXPECT_LE(cut.size(), fdk::trace::kLineMax);
  EXPECT_TRUE(cut.ends_with("yyy ...(line cut)\n")) << cut;
}

}  // namespace
