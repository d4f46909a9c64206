// Allocation, byte blocks, handles and the failure path.
#include "fde_memory.h"
#include "memory_internal.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "death_style.h"
#include "heap_fault.h"

namespace {

using DryHeap = fde_test::HeapFault;  // every request, or the n-th

bool AllZero(const void *p, size_t n) {
  const auto *b = static_cast<const unsigned char *>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

// ---------------------------------------------------------------- blocks

TEST(MemoryBlocks, SizeLimitIsCheckedBeforeTheHeap) {
  void *p = F_Alloc(FDE_ALLOC_LIMIT - 1, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(F_Free(p), 0);
  EXPECT_DEATH(F_Alloc(FDE_ALLOC_LIMIT, 0), "");
  EXPECT_DEATH(F_Alloc(0xFFFFFFFFu, 0), "");
  EXPECT_DEATH(F_Calloc(10000, 10000, 0), "");
  EXPECT_DEATH(F_Realloc(nullptr, FDE_ALLOC_LIMIT, 0), "");
}

TEST(MemoryBlocks, CallocProductThatWrapsIsOverTheLimit) {
  // 65536 * 65537 wraps to 65536 in 32 bits; it must not become a small block.
  EXPECT_DEATH(F_Calloc(65536, 65537, 0), "");
  EXPECT_DEATH(F_Calloc(0x80000000u, 2, 0), "");  // wraps to 0
}

TEST(MemoryBlocks, CallocAndReallocOfNullAreZeroFilled) {
  auto *p = static_cast<unsigned char *>(F_Calloc(16, 4, 0));
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(AllZero(p, 64));
  F_Free(p);
  void *empty = F_Calloc(0, 5, 0);
  EXPECT_NE(empty, nullptr);
  EXPECT_EQ(F_Free(empty), 0);
  void *r = F_Realloc(nullptr, 8, 0);
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(AllZero(r, 8));
  F_Free(r);
}

TEST(MemoryBlocks, ReallocKeepsContentsAndSurvivesZeroSize) {
  auto *p = static_cast<char *>(F_Alloc(4, 0));
  std::memcpy(p, "abc", 4);
  p = static_cast<char *>(F_Realloc(p, 4096, 0));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abc");
  // A zero size must not free the block behind the caller's back.
  void *q = F_Realloc(p, 0, 0);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(F_Free(q), 0);
}

TEST(MemoryBlocks, FreeReportsNull) {
  EXPECT_EQ(F_Free(nullptr), -1);
  void *p = F_Alloc(3, 0);
  EXPECT_EQ(FdeFree(&p), 0);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(FdeFree(&p), -1);
  EXPECT_EQ(FdeFree(nullptr), -1);
}

TEST(MemoryBlocks, ExhaustedHeapWithoutExitFlagGivesNull) {
  void *old = F_Alloc(8, 0);
  std::memset(old, 'x', 8);
  {
    DryHeap dry;
    EXPECT_EQ(F_Alloc(8, 0), nullptr);
    EXPECT_EQ(F_Calloc(2, 4, 0), nullptr);
    EXPECT_EQ(F_Realloc(nullptr, 8, 0), nullptr);
    EXPECT_EQ(F_Realloc(old, 64, 0), nullptr);
    EXPECT_EQ(F_DuplicatePtr("abc", 4, 0), nullptr);
  }
  // The old block is still the caller's and intact.
  EXPECT_EQ(std::memcmp(old, "xxxxxxxx", 8), 0);
  F_Free(old);
}

int hookCalls = 0;
void CountingHook() {
  ++hookCalls;
  if (hookCalls > 1) _exit(3);  // a second call would not die by SIGABRT
  std::fprintf(stderr, "hook#%d\n", hookCalls);
}

TEST(MemoryBlocksDeathTest, ExhaustionWithExitFlagRunsHookOnceThenAborts) {
  EXPECT_EXIT(
      {
        F_SetDSExit(CountingHook);
        DryHeap dry;
        F_Alloc(8, FDE_EXIT_ON_EXHAUSTION);
      },
      testing::KilledBySignal(SIGABRT), "hook#1");
  EXPECT_EXIT(
      {
        F_SetDSExit(CountingHook);
        DryHeap dry(2);
        void *p = F_Alloc(8, 0);
        F_Realloc(p, 16, FDE_EXIT_ON_EXHAUSTION);
      },
      testing::KilledBySignal(SIGABRT), "hook#1");
  // Without a hook the process still ends.
  EXPECT_EXIT(
      {
        DryHeap dry;
        F_Calloc(1, 8, FDE_EXIT_ON_EXHAUSTION);
      },
      testing::KilledBySignal(SIGABRT), "");
}

// ----------------------------------------------------------- byte blocks

TEST(MemoryBytes, CopyMovesOverlappingRanges) {
  char buf[] = "abcdefgh";
  EXPECT_EQ(F_CopyPtr(buf, buf + 2, 5), 0);  // source first
  EXPECT_STREQ(buf, "ababcdeh");
  char buf2[] = "abcdefgh";
  EXPECT_EQ(F_CopyBytes(buf2 + 2, buf2, 5), 0);
  EXPECT_STREQ(buf2, "cdefgfgh");
  EXPECT_EQ(F_CopyPtr(nullptr, buf, 2), -1);
  EXPECT_EQ(F_CopyPtr(buf, nullptr, 2), -1);
  EXPECT_DEATH(F_CopyPtr(buf, buf, FDE_ALLOC_LIMIT), "");
}

TEST(MemoryBytes, DuplicateCopiesTheBytes) {
  EXPECT_EQ(F_DuplicatePtr(nullptr, 4, 0), nullptr);
  auto *p = static_cast<char *>(F_DuplicatePtr("hello", 6, 0));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "hello");
  F_Free(p);
}

TEST(MemoryBytes, PtrEqualTreatsNullAsZeroBytes) {
  const unsigned char zeros[4] = {0, 0, 0, 0};
  const unsigned char some[4] = {0, 0, 0, 1};
  EXPECT_TRUE(F_PtrEqual(nullptr, zeros, 4));
  EXPECT_TRUE(F_PtrEqual(zeros, nullptr, 4));
  EXPECT_FALSE(F_PtrEqual(nullptr, some, 4));
  EXPECT_TRUE(F_PtrEqual(nullptr, some, 3));
  EXPECT_TRUE(F_PtrEqual(nullptr, nullptr, 4));
  EXPECT_TRUE(F_PtrEqual(zeros, some, 0));
  EXPECT_FALSE(F_PtrEqual(zeros, some, 4));
  EXPECT_TRUE(F_PtrEqual("abcd", "abcX", 3));
}

TEST(MemoryBytes, ClearPtr) {
  char buf[] = "abcd";
  EXPECT_EQ(F_ClearPtr(buf, 2), 0);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 0);
  EXPECT_EQ(buf[2], 'c');
  EXPECT_EQ(F_ClearPtr(nullptr, 2), -1);
}

// --------------------------------------------------------------- handles

TEST(MemoryHandles, NewHandleIsUnlockedAndZeroFilled) {
  HandleT *h = F_AllocHandle(32, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->lockCount, 0u);
  EXPECT_EQ(F_GetHandleSize(h), 32u);
  EXPECT_TRUE(AllZero(h->data, 32));
  EXPECT_EQ(F_FreeHandle(h), 0);
  HandleT *e = F_AllocHandle(0, 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(F_GetHandleSize(e), 0u);
  F_FreeHandle(e);
}

TEST(MemoryHandles, FailedDataAllocationReleasesTheRecord) {
  DryHeap dry(2);  // the record comes, the data does not
  EXPECT_EQ(F_AllocHandle(16, 0), nullptr);
  // The leak checker of the sanitizer build catches a record left behind.
}

TEST(MemoryHandles, LocksNest) {
  HandleT *h = F_AllocHandle(4, 0);
  EXPECT_EQ(F_UnlockHandle(h), 0u);
  EXPECT_EQ(h->lockCount, 0u);
  EXPECT_EQ(F_LockHandle(h), h->data);
  F_LockHandle(h);
  EXPECT_EQ(F_UnlockHandle(h), 1u);
  EXPECT_EQ(F_UnlockHandle(h), 0u);
  F_FreeHandle(h);
}

TEST(MemoryHandles, ReallocToSameSizeTouchesNothing) {
  HandleT *h = F_AllocHandle(8, 0);
  void *data = h->data;
  std::memcpy(data, "1234567", 8);
  EXPECT_EQ(F_ReallocHandle(h, F_GetHandleSize(h), 0), h);
  EXPECT_EQ(h->data, data);
  EXPECT_STREQ(static_cast<char *>(h->data), "1234567");
  F_FreeHandle(h);
}

TEST(MemoryHandles, ReallocResizesOrKeepsOldDataOnFailure) {
  HandleT *h = F_AllocHandle(4, 0);
  std::memcpy(h->data, "abc", 4);
  ASSERT_EQ(F_ReallocHandle(h, 100, 0), h);
  EXPECT_EQ(F_GetHandleSize(h), 100u);
  EXPECT_STREQ(static_cast<char *>(h->data), "abc");
  void *data = h->data;
  {
    DryHeap dry;
    EXPECT_EQ(F_ReallocHandle(h, 200, 0), nullptr);
  }
  EXPECT_EQ(h->data, data);
  EXPECT_EQ(F_GetHandleSize(h), 100u);
  EXPECT_DEATH(F_ReallocHandle(h, FDE_ALLOC_LIMIT, 0), "");
  F_FreeHandle(h);
}

TEST(MemoryHandles, EqualityComparesSizeThenBytes) {
  HandleT *a = F_AllocHandle(4, 0);
  HandleT *b = F_AllocHandle(4, 0);
  HandleT *c = F_AllocHandle(5, 0);
  EXPECT_TRUE(F_HandleEqual(a, b));
  EXPECT_FALSE(F_HandleEqual(a, c));
  static_cast<char *>(b->data)[3] = 1;
  EXPECT_FALSE(F_HandlesAreEqual(a, b));
  EXPECT_EQ(F_ClearHandle(b), 0);
  EXPECT_TRUE(F_HandlesAreEqual(a, b));
  F_FreeHandle(a);
  F_FreeHandle(b);
  F_FreeHandle(c);
}

TEST(MemoryHandles, DuplicateCopiesTheSmallerSize) {
  HandleT *big = F_AllocHandle(8, 0);
  HandleT *small = F_AllocHandle(4, 0);
  std::memcpy(big->data, "ABCDEFGH", 8);
  EXPECT_EQ(F_DuplicateHandle(big, small), 0);
  EXPECT_EQ(std::memcmp(small->data, "ABCD", 4), 0);
  EXPECT_EQ(F_GetHandleSize(small), 4u);
  EXPECT_EQ(F_GetHandleSize(big), 8u);
  std::memcpy(small->data, "wxyz", 4);
  EXPECT_EQ(F_DuplicateHandle(small, big), 0);
  EXPECT_EQ(std::memcmp(big->data, "wxyzEFGH", 8), 0);
  F_FreeHandle(big);
  F_FreeHandle(small);
}

TEST(MemoryHandlesDeathTest, NullAndFreedHandlesFail) {
  EXPECT_DEATH(F_LockHandle(nullptr), "");
  EXPECT_DEATH(F_UnlockHandle(nullptr), "");
  EXPECT_DEATH(F_GetHandleSize(nullptr), "");
  EXPECT_DEATH(F_FreeHandle(nullptr), "");
  EXPECT_DEATH(F_ClearHandle(nullptr), "");
  EXPECT_DEATH(F_ReallocHandle(nullptr, 4, 0), "");
  HandleT *h = F_AllocHandle(4, 0);
  EXPECT_DEATH(F_HandleEqual(h, nullptr), "");
  EXPECT_DEATH(F_DuplicateHandle(nullptr, h), "");
  EXPECT_DEATH(F_AllocHandle(FDE_ALLOC_LIMIT, 0), "");
  HandleT *gone = h;
  EXPECT_EQ(FdeFreeHandle(&gone), 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(gone), 0xDEADDEADu);
  // The marked variable is recognised, never dereferenced.
  EXPECT_DEATH(F_LockHandle(gone), "");
  EXPECT_DEATH(F_FreeHandle(gone), "");
}

TEST(MemoryHandlesDeathTest, LockedHandleFreeIsFatalUnlessRelaxed) {
  HandleT *h = F_AllocHandle(4, 0);
  F_LockHandle(h);
  EXPECT_DEATH(F_FreeHandle(h), "");
  EXPECT_DEATH(F_ReallocHandle(h, 8, 0), "");
  BoolT was = FdeSetStrictEnforcement(0);
  EXPECT_EQ(F_ReallocHandle(h, 8, 0), h);
  EXPECT_EQ(F_FreeHandle(h), 0);
  FdeSetStrictEnforcement(was);
}

// ---------------------------------------------------------- failure path

void NoisyHandler() { std::fprintf(stderr, "handler ran\n"); }

TEST(MemoryFailDeathTest, FailRunsInstalledHandlerThenAborts) {
  EXPECT_EXIT(FdeFail(), testing::KilledBySignal(SIGABRT), "");
  EXPECT_EXIT(
      {
        F_SetAssert(NoisyHandler);
        FdeFail();
      },
      testing::KilledBySignal(SIGABRT), "handler ran");
}

std::jmp_buf recovery;
void JumpBack() { std::longjmp(recovery, 1); }

// True when the allocation left through JumpBack.
bool Recovered(UIntT size, UIntT flags) {
  if (setjmp(recovery) != 0) return true;
  F_Alloc(size, flags);
  return false;
}

TEST(MemoryFailDeathTest, HandlerAndHookMayLeaveByAJump) {
  // Every failure reaches the handler again: nothing is left half-set after
  // a handler that did not return.
  EXPECT_EXIT(
      {
        F_SetAssert(JumpBack);
        F_SetDSExit(JumpBack);
        bool ok = Recovered(FDE_ALLOC_LIMIT, 0) && Recovered(FDE_ALLOC_LIMIT, 0);
        DryHeap dry;
        ok = ok && Recovered(8, FDE_EXIT_ON_EXHAUSTION) && !Recovered(8, 0);
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(MemoryFailDeathTest, SetAssertOnAFreshLibrary) {
  // The child starts with no instance record.
  EXPECT_EXIT(
      {
        bool ok = FdeInstance == nullptr && F_SetAssert(nullptr) == defaultHandler &&
                  F_SetAssert(nullptr) == defaultHandler &&
                  F_SetAssert(NoisyHandler) == defaultHandler &&
                  F_SetAssert(nullptr) == NoisyHandler && FdeInstance != nullptr &&
                  FdeInstance->strictEnforcement == 1;
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(MemoryFailDeathTest, EnforcementIsStrictWithoutARecord) {
  EXPECT_EXIT(
      {
        if (FdeInstance != nullptr) std::exit(2);
        FdeEnforcement();
        std::exit(0);
      },
      testing::KilledBySignal(SIGABRT), "");
  EXPECT_EXIT(
      {
        bool ok = FdeSetStrictEnforcement(0) == 1 && FdeEnforcement() == 1 &&
                  FdeSetStrictEnforcement(5) == 0 && FdeInstance->strictEnforcement == 1;
        FdeInstanceT *rec = FdeInstance;
        FdeInstanceInit();  // an existing record stays as it is
        ok = ok && FdeInstance == rec && rec->strictEnforcement == 1;
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(MemoryReport, WarningWritesTheMessageAsIs) {
  testing::internal::CaptureStderr();
  F_Warning("50% done");
  F_Warning(nullptr);
  F_Progress(1, 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "50% done");
}

}  // namespace
