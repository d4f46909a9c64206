// File paths, DI names, channels, temporary files, heap failures.
#include "channel_internal.h"
#include "fde.h"
#include "memory_internal.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "testsupport.hpp"

namespace {

namespace fs = std::filesystem;
using fdk::test::TempDir;
using DryHeap = fdk::test::HeapFault<FdeSysAllocT, FdeSetSysAlloc>;
using Record = std::unique_ptr<FilePathT, decltype(&F_FilePathFree)>;
Record Own(FilePathT *fp) { return Record(fp, F_FilePathFree); }
Record Unix(const std::string &name) { return Own(F_UnixToFilePath(name.c_str(), nullptr)); }
// A record as "path #flags", or "(null)"; the record is freed.
std::string Show(FilePathT *fp) {
  Record r = Own(fp);
  return r ? std::string(r->path) + " #" + std::to_string(r->flags) : "(null)";
}

// Unix names through references, textual expansion and anchors.
TEST(FdePath, UnixNamesAndAnchors) {
  setenv("FDE_TEST_DOCS", "/data", 1);
  setenv("FDE_TEST_BIG", ("/" + std::string(1000, 'v')).c_str(), 1);
  std::string tooBig = "$FDE_TEST_BIG/" + std::string(30, 'x'), home = getpwnam("root")->pw_dir;
  Record book = Unix("/usr/doc/book.fm"), top = Unix("/book.fm"), rel = Unix("d/book.fm");
  Record plain = Own(FdeFilePathSimpleCreate("/p/q.fm"));  // flags 0: not relative
  std::string deepDir = "/" + std::string(1000, 'd');
  Record deep = Unix(deepDir + "/book.fm");
  FilePathT untagged = {0, FDE_FP_ABSOLUTE, const_cast<StringT>("/a/b")};
  FilePathT pathless = {FDE_FILEPATH_TAG, FDE_FP_ABSOLUTE, nullptr};
  std::string fits = "/" + std::string(FDE_PATH_LEN - 2, 'a');  // the longest expansion
  struct { std::string name; const FilePathT *anchor; std::string want; } cases[] = {
      {"/usr//doc/./a/../b.fm", nullptr, "/usr/doc/b.fm #16"}, {"a/b", nullptr, "a/b #1"},
      {"/../../a", nullptr, "/a #16"}, {"a/../../b", nullptr, "b #1"}, {"x/../..", nullptr, "(null)"},
      {"", nullptr, "(null)"}, {".", nullptr, "(null)"}, {"$FDE_TEST_DOCS/./x/..", nullptr, "/data #16"},
      {"a/$FDE_TEST_DOCS/$FDE_TEST_DOCS", nullptr, "a/data/data #1"}, {"~root/x", nullptr, home + "/x #16"},
      // unknown references, or ones that would not fit, leave the name as it was
      {"$FDE_TEST_DOCS/$FDE_TEST_UNSET", nullptr, "$FDE_TEST_DOCS/$FDE_TEST_UNSET #1"},
      {"\\$FDE_TEST_DOCS", nullptr, "\\$FDE_TEST_DOCS #1"}, {"a~b", nullptr, "a~b #1"},
      {"~no_such_user_fde/x", nullptr, "~no_such_user_fde/x #1"}, {tooBig, nullptr, tooBig + " #1"},
      {"ch1.fm", book.get(), "/usr/doc/ch1.fm #16"}, {"../lib/x", book.get(), "/usr/lib/x #16"},
      {"/abs/y", book.get(), "/abs/y #16"}, {"ch1.fm", top.get(), "/ch1.fm #16"}, {"r", plain.get(), "/p/r #16"},
      {"/abs", rel.get(), "(null)"}, {"x", rel.get(), "(null)"}, {"x", &untagged, "(null)"},
      {"/abs", &pathless, "(null)"}, {fits, nullptr, fits + " #16"},
      {fits + "b", nullptr, "(null)"},  // fits the name buffer, but the expansion would cut it
      {fits + "bc", nullptr, "(null)"}, {std::string(30, 'x'), deep.get(), "(null)"},
      {"x", deep.get(), deepDir + "/x #16"}};
  for (auto &c : cases) EXPECT_EQ(Show(F_UnixToFilePath(c.name.c_str(), c.anchor)), c.want) << c.name;
  // Macintosh and DOS names are copied, not converted.
  EXPECT_EQ(Show(F_DosToFilePath("C:\\d\\..\\a.fm")), "C:\\d\\..\\a.fm #0");
  EXPECT_EQ(Show(F_MacToFilePath("")) + Show(F_MacToFilePath((fits + "bc").c_str())), "(null)(null)");

  // In a name buffer, the last component at the limit is cut and the rest dropped.
  char buf[FDE_PATH_SIZE], name[FDE_LAST_NAME_SIZE], head[FDE_PATH_LEN];  // the documented sizes
  std::strcpy(buf, (std::string(100, 'c') + "/dropped").c_str());
  FdeUiExpandFileName(buf, deepDir.c_str());
  EXPECT_EQ(buf, deepDir + "/" + std::string(20, 'c'));
  FdeSplitFullFileName(("/" + std::string(1500, 'd') + "/" + std::string(400, 'n')).c_str(), head, name);
  EXPECT_EQ(std::strlen(name) + std::strlen(head), FDE_LAST_NAME_SIZE - 1u + FDE_PATH_LEN - 1u);
  unsetenv("FDE_TEST_DOCS");
  unsetenv("FDE_TEST_BIG");
}

// The DI name written for a record, or "(refused)".
std::string Write(const FilePathT *fp, const char *anchor = nullptr) {
  Record a = Own(anchor != nullptr ? F_UnixToFilePath(anchor, nullptr) : nullptr);
  StringT text = reinterpret_cast<StringT>(1);
  IntT length = -5;
  std::string out = F_FilePathToDI(fp, a.get(), &text, &length) == 0 ? text : "(refused)";
  EXPECT_EQ(length, text != nullptr ? static_cast<IntT>(out.size()) : 0);
  F_Free(text);
  return out;
}
// What a DI name reads back as.
std::string Read(const char *di, const char *anchor = nullptr) {
  Record a = Own(anchor != nullptr ? F_UnixToFilePath(anchor, nullptr) : nullptr);
  return Show(F_DIToFilePath(di, a.get()));
}

constexpr const char *kAnchor = "/usr/doc/book.fm";

TEST(FdeDiPath, WriterAndReader) {
  std::string deep = "/a";  // about 500 levels up would not fit: the path stays absolute
  while (deep.size() < 1000) deep += "/b";
  deep += "/f";
  struct { const char *path, *anchor, *di; } cases[] = {
      {"/a/x", deep.c_str(), "<r><c>a<c>x"},
      {"/usr/doc/a.fm", nullptr, "<r><c>usr<c>doc<c>a.fm"}, {"/a/./b", nullptr, "<r><c>a<c>b"},
      {"/usr/doc/a.fm", kAnchor, "<c>a.fm"}, {"/usr/lib/x.fm", kAnchor, "<u><c>lib<c>x.fm"},
      {"/var/x.fm", kAnchor, "<r><c>var<c>x.fm"}, {"/usr/ch1.fm", "/usr/book.fm", "<r><c>usr<c>ch1.fm"},
      {"/usr/doc", "/usr/doc/sub/f", "<u><u><c>doc"}, {"/usr/docs/x", kAnchor, "<u><c>docs<c>x"},
      {"/a/x", "/a/b/b/f", "<u><u><c>x"}, {"/a<b/c\\d", kAnchor, "<r><c>a\\<b<c>c\\\\d"},
      {"/", nullptr, "<r>"}, {"/", kAnchor, "<r>"}};
  for (auto &c : cases) {
    EXPECT_EQ(Write(Unix(c.path).get(), c.anchor), c.di) << c.path;
    EXPECT_EQ(Read(c.di, c.anchor), std::string(Unix(c.path)->path) + " #16") << c.path;
  }
  EXPECT_EQ(Write(Own(FdeFilePathSimpleCreate("/a/./b/../c")).get()), "<r><c>a<c>b<u><c>c");  // unexpanded

  std::string many;
  while (many.size() < 600) many += "/a";  // 300 segments: 1203 DI characters
  std::string huge = "/" + std::string(FDE_PATH_LEN, 'h');
  FilePathT raw = {FDE_FILEPATH_TAG, FDE_FP_ABSOLUTE, huge.data()};
  FilePathT untagged = {0, FDE_FP_ABSOLUTE, const_cast<StringT>("/a")};
  Record manyRec = Unix(many);
  for (const FilePathT *fp : {manyRec.get(), &raw, &untagged, static_cast<FilePathT *>(nullptr)})
    EXPECT_EQ(Write(fp), "(refused)");
  struct { const char *di, *anchor, *read; } reads[] = {
      {"<h>srv<c>x", nullptr, "/srv/x #16"}, {"<v>vol<c>x", nullptr, "/vol/x #16"}, {"<Z>junk<c>a", nullptr, "a #1"},
      {"<c>a\\<b", nullptr, "a<b #1"}, {"<c><c>a", nullptr, "/a #16"}, {"<r>ignored<c>a", nullptr, "/a #16"},
      // stops on an error: what was read, unexpanded, flags 0
      {"<c>a<r><c>b", nullptr, "a/ #0"}, {"<c>a<h>x", nullptr, "a/ #0"}, {"<r><u>", nullptr, "/ #0"},
      {"<h>x<u>", nullptr, "/x/ #0"}, {"abc", nullptr, "(null)"}, {"<r", nullptr, "(null)"},
      {"<", nullptr, "(null)"}, {"<cx", nullptr, "(null)"}, {"x<c>a", nullptr, "(null)"}, {"", nullptr, "(null)"},
      {nullptr, nullptr, "(null)"}, {"<c>", nullptr, "(null)"},
      // the root alone is the root, with or without an anchor
      {"<r>", nullptr, "/ #16"}, {"<r>", kAnchor, "/ #16"}, {"<r>x", kAnchor, "/ #16"},
      {"<u><c>lib<c>x.fm", kAnchor, "/usr/lib/x.fm #16"}, {"<u><u><u><u>", kAnchor, "/ #16"},
      {"<c>a", "d/book.fm", "(null)"}, {"<r><c>a", "d/book.fm", "/a #16"}};
  for (auto &c : reads) EXPECT_EQ(Read(c.di, c.anchor), c.read) << (c.di ? c.di : "null");

  std::string big = "<c>" + std::string(300, 'x') + "<c>y";  // components over 255 are cut
  EXPECT_EQ(Read(big.c_str()), std::string(255, 'x') + "/y #1");
  // FDE_PATH_LEN characters fit: 4 x 250 and 18, with each '/'; with 19 the last '/' does not.
  std::string four;
  for (char c = 'a'; c < 'e'; ++c) four += "<c>" + std::string(250, c);
  EXPECT_EQ(Read((four + "<c>" + std::string(18, 'e')).c_str()).size(), 4u * 251 + 18 + 3);
  EXPECT_EQ(Read((four + "<c>" + std::string(19, 'e')).c_str()).substr(FDE_PATH_LEN - 1), "e #0");
  FdeUFCursorT c;  // path segments over 255 characters are cut
  std::string path = "//usr///" + std::string(300, 's') + "/";
  FdeUFCinit(&c, path.c_str());
  EXPECT_TRUE(FdeUFCgetSegment(&c) && FdeUFCgetSegment(&c) && c.segment == std::string(255, 's'));
  EXPECT_FALSE(FdeUFCgetSegment(&c));
}

// Runs scenario, which returns what it found wrong, in a fresh process: the
// library keeps the temporary and home directory once per process.
void Fresh(const std::function<std::string()> &scenario) {
  EXPECT_EXIT(
      {
        std::string why = scenario();
        std::fputs(why.c_str(), stderr);
        std::exit(why.empty() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// Takes a name: "" when it is "<dir>/F<hex>." and six characters naming nothing yet.
std::string BadName(const std::string &dir, const std::string &hex) {
  StringT name = FdeMakeTmpFileName();
  std::string prefix = dir + "/F" + hex + ".", s = name != nullptr ? name : "(null)";
  F_Free(name);
  bool ok = s.size() == prefix.size() + 6 && s.compare(0, prefix.size(), prefix) == 0;
  for (size_t i = prefix.size(); ok && i < s.size(); ++i) ok = std::isalnum(static_cast<unsigned char>(s[i]));
  struct stat st;
  return ok && lstat(s.c_str(), &st) != 0 ? "" : "got " + s + ", want an unused " + prefix + "??????\n";
}

TEST(FdeTmp, DirectoryFallbacks) {
  // TMPDIR, HOME (null: unset), wanted: names in a fresh directory; without /tmp
  // and /usr/tmp; as real user nobody, whom access() refuses the 0555 "ro".
  struct { const char *tmpdir, *home; bool fixedOnes, nobody; const char *want; } cases[] = {
      {"plain", "home", true, false, "/tmp"}, {"", "home", true, false, "/tmp"},
      {"ro", "home", true, true, "/tmp"}, {nullptr, "home", false, false, "home"},
      {"ro", nullptr, false, true, "work"}};
  for (auto &c : cases)
    Fresh([&] {
      TempDir t;
      auto at = [&](const char *name) { return *name != 0 && *name != '/' ? t.file(name) : std::string(name); };
      chmod(t.mkdir("ro").c_str(), 0555);
      t.mkdir("home");
      std::string missing = t.file("missing"), plain = t.write("plain", "");  // kept by pointer
      if (!c.fixedOnes) FdeSetTmpCandidates(missing.c_str(), plain.c_str());
      c.tmpdir != nullptr ? setenv("TMPDIR", at(c.tmpdir).c_str(), 1) : unsetenv("TMPDIR");
      c.home != nullptr ? setenv("HOME", at(c.home).c_str(), 1) : unsetenv("HOME");
      bool nobody = c.nobody && getuid() == 0;
      if (chdir(t.mkdir("work").c_str()) != 0 || (nobody && setreuid(65534, -1) != 0)) return std::string("setup");
      std::string why = BadName(std::strcmp(c.want, "work") != 0 ? at(c.want) : fs::current_path().string(), "1");
      return why + (nobody && setreuid(0, -1) != 0 ? "setreuid back" : "");
    });
}

// Temporary and home directory chosen once; a temporary channel; each heap
// request of an operation refused in turn: a clean failure, no file left.
TEST(FdeTmp, ChosenOnceChannelAndHeapFailures) {
  Fresh([] {
    TempDir t;
    setenv("TMPDIR", t.path().c_str(), 1);
    char unset[FDE_PATH_SIZE] = "~/d", set[FDE_PATH_SIZE] = "~", later[FDE_PATH_SIZE] = "~/d";
    unsetenv("HOME");
    FdeFixTildaName(unset);
    setenv("HOME", "/home/u", 1);
    FdeFixTildaName(set);
    setenv("HOME", "/elsewhere", 1);
    FdeFixTildaName(later);  // HOME as read first
    std::string why = std::string(unset) + " " + set + " " + later == "~/d /home/u /home/u/d" ? "" : "home ";
    ChannelT *ch = F_ChannelMakeTmp();
    char buf[4] = {};
    struct stat st;
    std::string name = ch != nullptr ? ch->name : "";
    if (name.rfind(t.path() + "/F1.", 0) != 0 || lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (st.st_mode & 0777) != 0600 || F_ChannelWrite("abc", 1, 3, ch) != 3 || F_ChannelSeek(ch, 0, 0) != 0 ||
        F_ChannelRead(buf, 1, 3, ch) != 3 || std::strcmp(buf, "abc") != 0 || FdeChannelCloseTmp(&ch) != 0 ||
        ch != nullptr || fs::exists(name))
      why += " a private temporary file, removed on close: " + name;
    setenv("TMPDIR", "/tmp", 1);
    FdeSetTmpCounter(9);  // names count in hexadecimal
    why += BadName(t.path(), "a");
    FdeSetTmpCounter(0xFFFFFFFEu);  // the name has room for all eight digits
    why += BadName(t.path(), "ffffffff");
    Record src = Unix("/dev/null"), abs = Unix("/a");
    HandleT *h = F_AllocHandle(100, 0);
    void *data = h->data;
    StringT text;
    IntT length;
    const std::pair<std::function<bool()>, int> ops[] = {  // {fails cleanly, requests}
        {[] { return F_AllocHandle(16, 0) == nullptr; }, 2},
        {[&] { return F_ReallocHandle(h, 200, 0) == nullptr && h->data == data && h->size == 100; }, 1},
        {[] { return F_DuplicatePtr("abc", 4, 0) == nullptr; }, 1},
        {[&] { return F_ChannelOpen(src.get(), "r") == nullptr; }, 2},
        {[] { return F_UnixToFilePath("/a/b", nullptr) == nullptr; }, 2},
        {[&] { return F_FilePathToDI(abs.get(), nullptr, &text, &length) == -1 && text == nullptr; }, 1},
        {[] { return F_ChannelMakeTmp() == nullptr; }, 2}};
    for (size_t i = 0; i < std::size(ops); ++i)
      for (int nth = 1; nth <= ops[i].second; ++nth)
        if (DryHeap fault(nth); !ops[i].first()) why += " operation " + std::to_string(i) + "." + std::to_string(nth);
    F_FreeHandle(h);
    if (!fs::is_empty(t.path())) why += " a file left behind";
    fs::remove(t.path());  // the chosen directory vanishes
    return why + (F_ChannelMakeTmp() == nullptr ? "" : " a channel in a removed directory");
  });
}

TEST(FdeFiles, ChannelsDeletionAndProperties) {
  TempDir t;
  std::string content(20000, 0);  // several blocks
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  Record src = Unix(t.write("src", content)), dst = Unix(t.file("dst")), top = Unix(t.path());
  ChannelT *from = F_ChannelOpen(src.get(), "r"), *to = F_ChannelOpen(dst.get(), "w");
  EXPECT_TRUE(F_ChannelAppend(from, to) == 0 && F_ChannelAppend(from, to) == 0 && F_ChannelFlush(to) == 0);
  EXPECT_EQ(fdk::test::read_file(dst->path), content);
  EXPECT_TRUE(F_ChannelSeek(from, 100, 0) == 0 && F_ChannelSize(from) == 20000 && F_ChannelTell(from) == 100);
  ChannelT *full = FdeChannelNew(fopen("/dev/full", "w"), F_StrCopyString(dst->path));
  EXPECT_EQ(F_ChannelAppend(from, full), -1);  // a short write
  EXPECT_EQ(F_ChannelAppend(to, from), -1);    // a read error is no end of file
  EXPECT_EQ(F_ChannelClose(from) + F_ChannelClose(to), 0);
  // The file goes even when the close fails (flushing to a full device).
  F_ChannelWrite("x", 1, 1, full);
  EXPECT_TRUE(F_ChannelCloseTmp(full) == -1 && !fs::exists(dst->path));
  EXPECT_EQ(F_ChannelClose(nullptr) + F_ChannelCloseTmp(nullptr), -2);
  // An unnamed channel stands for the working directory: closing it must not remove that.
  fs::path old = fs::current_path();
  fs::current_path(t.mkdir("work"));
  ChannelT *unnamed = FdeChannelNew(std::tmpfile(), F_StrCopyString(""));
  Record work = Own(F_GetFilePath(unnamed));
  EXPECT_EQ(fs::path(work->path), fs::canonical(t.file("work")));
  EXPECT_TRUE(FdeChannelCloseTmp(&unnamed) == 0 && unnamed == nullptr && fs::is_directory(work->path));
  fs::current_path(old);
  EXPECT_TRUE(F_DeleteFile(top.get()) == -1 && F_DeleteFile(work.get()) == 0 && F_DeleteFile(work.get()) == -1);
  Record &d = top, &f = src;  // a directory and a regular file
  EXPECT_EQ(FdeStatProperty(d->path, 0x700) | FdeStatProperty(t.file("none").c_str(), 0x700), 0x500u);
  EXPECT_EQ(FdeStatProperty(f->path, 0x700) | FdeAccessProperty("", 3), 0x600u);
  EXPECT_EQ(FdeAccessProperty(f->path, 3) | FdeAccessProperty(t.file("none").c_str(), 3), 3u);
  EXPECT_TRUE(F_DirectoryExists(d.get()) && F_DirectoryIsWriteable(d.get()) && F_FileIsReadable(f.get()));
  EXPECT_FALSE(F_FileExists(d.get()) || F_FileIsWriteable(d.get()) || F_DirectoryIsReadable(f.get()));
  EXPECT_FALSE(F_FileExists(nullptr) || F_DirectoryExists(f.get()));
}

}  // namespace
