// Allocation, byte blocks, handles, and the library's contract failures.
#include "channel_internal.h"
#include "fde.h"
#include "memory_internal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>

#include "testsupport.hpp"

namespace {

using DryHeap = fdk::test::HeapFault<FdeSysAllocT, FdeSetSysAlloc>;

// Death tests re-execute the program: a fresh library, and fine under AddressSanitizer.
struct ThreadsafeDeathTests : testing::Environment {
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};
testing::Environment *const kStyle = testing::AddGlobalTestEnvironment(new ThreadsafeDeathTests);

TEST(FdeMemory, BlocksBytesHandlesAndWarnings) {
  EXPECT_EQ(F_Free(F_Alloc(FDE_ALLOC_LIMIT - 1, 0)), 0);
  void *empty = F_Calloc(0, 5, 0);  // a zero-byte block is no exhaustion
  EXPECT_EQ(FdeFree(&empty) + FdeFree(&empty) + FdeFree(nullptr) + F_Free(nullptr), -3);
  auto *s = static_cast<char *>(F_Realloc(nullptr, 8, 0));  // zero-filled, like calloc
  EXPECT_TRUE(F_PtrEqual(s, nullptr, 8));
  std::memcpy(s, "abc", 4);
  s = static_cast<char *>(F_Realloc(s, 4096, 0));
  EXPECT_STREQ(s, "abc");
  EXPECT_EQ(F_Free(F_Realloc(s, 0, 0)), 0);  // must not free the block behind the caller's back
  char buf[] = "abcdefgh", buf2[] = "abcdefgh";
  EXPECT_TRUE(F_CopyPtr(buf, buf + 2, 5) == 0 && F_CopyBytes(buf2 + 2, buf2, 5) == 0);  // overlapping
  EXPECT_EQ(std::string(buf) + buf2, "ababcdehcdefgfgh");
  EXPECT_EQ(F_CopyPtr(nullptr, buf, 2) + F_CopyPtr(buf, nullptr, 2) + F_ClearPtr(nullptr, 2), -3);
  EXPECT_TRUE(F_ClearPtr(buf, 2) == 0 && buf[1] == 0 && buf[2] == 'a' && F_DuplicatePtr(nullptr, 4, 0) == nullptr);
  const unsigned char zeros[4] = {}, some[4] = {0, 0, 0, 1};  // a null block reads as zero bytes
  EXPECT_TRUE(F_PtrEqual(nullptr, zeros, 4) && F_PtrEqual(zeros, nullptr, 4) && F_PtrEqual(nullptr, some, 3));
  EXPECT_FALSE(F_PtrEqual(nullptr, some, 4) || F_PtrEqual(zeros, some, 4));

  HandleT *a = F_AllocHandle(4, 0), *b = F_AllocHandle(4, 0), *c = F_AllocHandle(8, 0);
  EXPECT_TRUE(F_UnlockHandle(a) == 0 && F_LockHandle(a) == a->data && F_LockHandle(a) == a->data);
  EXPECT_TRUE(F_UnlockHandle(a) == 1 && F_UnlockHandle(a) == 0 && F_GetHandleSize(a) == 4);
  EXPECT_TRUE(F_HandleEqual(a, b) && !F_HandleEqual(a, c));  // zero-filled; sizes differ
  static_cast<char *>(b->data)[3] = 1;
  EXPECT_FALSE(F_HandlesAreEqual(a, b));
  EXPECT_TRUE(F_ClearHandle(b) == 0 && F_HandlesAreEqual(a, b));
  std::memcpy(c->data, "ABCDEFGH", 8);  // duplication copies the smaller size
  EXPECT_TRUE(F_DuplicateHandle(c, a) == 0 && std::memcmp(a->data, "ABCD", 4) == 0);
  void *data = c->data;
  EXPECT_TRUE(F_ReallocHandle(c, 8, 0) == c && c->data == data);  // same size: touches nothing
  EXPECT_TRUE(F_ReallocHandle(c, 100, 0) == c && F_GetHandleSize(c) == 100 && std::memcmp(c->data, "ABCD", 4) == 0);
  F_LockHandle(b);  // relaxed enforcement lets a locked handle be resized and freed
  BoolT was = FdeSetStrictEnforcement(0);
  EXPECT_TRUE(F_ReallocHandle(b, 8, 0) == b && F_FreeHandle(b) == 0);
  FdeSetStrictEnforcement(was);
  EXPECT_TRUE(FdeFreeHandle(&c) == 0 && c == FDE_FREED_HANDLE && F_FreeHandle(a) == 0);
  testing::internal::CaptureStderr();  // a warning is written as it is, not as a format
  F_Warning("50% done");
  F_Warning(nullptr);
  F_Progress(1, 2);  // accepted and dropped
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "50% done");
}

// Every contract violation ends in FdeFail and an abort.
TEST(FdeMemoryDeathTest, ContractViolationsAbort) {
  HandleT *h = F_AllocHandle(4, 0), *gone = F_AllocHandle(4, 0);
  FdeFreeHandle(&gone);  // the marked variable is recognised, never dereferenced
  char buf[FDE_PATH_SIZE] = "a/b", abs[FDE_PATH_SIZE] = "/a/b";
  FilePathT *absFp = F_UnixToFilePath("/a/b", nullptr), *relFp = F_UnixToFilePath("a/b", nullptr);
  FilePathT *plainRel = FdeFilePathSimpleCreate("a/b");  // flags 0
  StringT text;
  IntT length;
  const std::function<void()> cases[] = {
      [] { F_Alloc(FDE_ALLOC_LIMIT, 0); }, [] { F_Calloc(65536, 65537, 0); },  // wraps to 65536
      [] { F_Calloc(0x80000000u, 2, 0); },                                      // wraps to 0
      [] { F_Realloc(nullptr, FDE_ALLOC_LIMIT, 0); }, [&] { F_CopyPtr(buf, buf, FDE_ALLOC_LIMIT); },
      [] { F_StrNew(FDE_ALLOC_LIMIT - 1); }, [] { F_StrNew(0xFFFFFFFFu); },  // len + 1 wraps
      [] { F_AllocHandle(FDE_ALLOC_LIMIT, 0); }, [&] { F_ReallocHandle(h, FDE_ALLOC_LIMIT, 0); },
      [] { F_LockHandle(nullptr); }, [] { F_UnlockHandle(nullptr); }, [] { F_GetHandleSize(nullptr); },
      [] { F_FreeHandle(nullptr); }, [] { F_ClearHandle(nullptr); }, [] { FdeFreeHandle(nullptr); },
      [] { F_ReallocHandle(nullptr, 4, 0); }, [&] { F_HandleEqual(h, nullptr); },
      [&] { F_DuplicateHandle(nullptr, h); }, [&] { F_LockHandle(gone); }, [&] { F_FreeHandle(gone); },
      [&] { F_LockHandle(h), F_FreeHandle(h); }, [&] { F_LockHandle(h), F_ReallocHandle(h, 8, 0); },  // locked
      [] { FdeFilePathFree(nullptr); }, [&] { FdeRelativizeFileName(buf, "/a/f"); },
      [&] { FdeRelativizeFileName(abs, "a/f"); }, [&] { F_FilePathToDI(absFp, nullptr, &text, nullptr); },
      [&] { F_FilePathToDI(relFp, nullptr, &text, &length); },
      [&] { F_FilePathToDI(absFp, relFp, &text, &length); },
      [&] { F_FilePathToDI(plainRel, absFp, &text, &length); }, [&] { FdeParseDiName(nullptr, buf); },
      [] { F_ChannelOpen(nullptr, "r"); }, [&] { F_ChannelRead(buf, 1, 1, nullptr); },
      [] { F_ChannelAppend(nullptr, nullptr); },
      [] { FdeChannelCloseTmp(nullptr); }};
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_DEATH(cases[i](), "") << "case " << i;
  for (FilePathT *fp : {relFp, plainRel}) F_FilePathFree(fp);
  EXPECT_EQ(FdeFilePathFree(&absFp), 0);
  EXPECT_EQ(absFp, nullptr);  // the caller's pointer is cleared
  F_FreeHandle(h);
}

int hookCalls = 0;
void CountingHook() {
  if (++hookCalls > 1) _exit(3);  // a second call would not end by SIGABRT
  std::fprintf(stderr, "hook#%d\n", hookCalls);
}
void NoisyHandler() { std::fprintf(stderr, "handler ran\n"); }

TEST(FdeMemoryDeathTest, ExhaustionAndAFreshLibrary) {
  EXPECT_EXIT((F_SetDSExit(CountingHook), DryHeap(), F_Alloc(8, FDE_EXIT_ON_EXHAUSTION)),
              testing::KilledBySignal(SIGABRT), "hook#1");
  EXPECT_EXIT(
      {
        F_SetDSExit(CountingHook);
        DryHeap dry(2);
        F_Realloc(F_Alloc(8, 0), 16, FDE_EXIT_ON_EXHAUSTION);
      },
      testing::KilledBySignal(SIGABRT), "hook#1");
  EXPECT_EXIT((DryHeap(), F_Calloc(1, 8, FDE_EXIT_ON_EXHAUSTION)), testing::KilledBySignal(SIGABRT), "");
  // A handler that returns does not keep the process alive.
  EXPECT_EXIT((F_SetAssert(NoisyHandler), FdeFail()), testing::KilledBySignal(SIGABRT), "handler ran");
  EXPECT_EXIT(FdeEnforcement(), testing::KilledBySignal(SIGABRT), "");  // no record: strict
  EXPECT_EXIT(std::exit(F_SetAssert(NoisyHandler) == defaultHandler && F_SetAssert(nullptr) == NoisyHandler &&
                                FdeSetStrictEnforcement(0) == 1 && FdeEnforcement() == 1 &&
                                FdeSetStrictEnforcement(5) == 0
                            ? 0
                            : 1),
              testing::ExitedWithCode(0), "");  // a fresh library: strict, the default handler
}

}  // namespace
