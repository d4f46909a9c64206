// Requests from cadsim served by this process through libmbx.so: dispatch,
// the interleaved "DOKFRMDI" conversation, size queries, truncation,
// mbx_request_info, and calls to a service that cadsim serves.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "bus_fixture.h"

namespace mbxtest {
namespace {

using fdk::test::Process;

TEST_F(Bus, DispatchHandsKindAndConnectionHandle) {
  join_as_bridge();
  std::vector<int32_t> kinds;
  int32_t handle = 0, handle_status = -1;
  behaviours()["DOKFRMRA"] = [&](int32_t* kind, void* value) {
    kinds.push_back(*kind);
    if (*kind == 4) mbx_get_fd(value, &handle, &handle_status);
  };
  for (const char* kind : {"4", "5", "-3"}) {
    Process c = cadsim({"request", "DOKFRMRA", "--kind", kind});
    ASSERT_TRUE(serve_while(c));
    EXPECT_EQ(c.exit_code(), 0) << c.err();
    EXPECT_EQ(c.out(), "end\n");
  }
  EXPECT_EQ(kinds, (std::vector<int32_t>{4, 5, -3}));
  EXPECT_EQ(handle_status, MBX_OK);
  EXPECT_GT(handle, 0);

  // The handle stands for this participant's own connection.
  int32_t zero = 0;
  mbx_fdset* own = mbx_fd_set(&zero);
  mbx_fdset* handed = mbx_fd_set(&handle);
  ASSERT_TRUE(own != nullptr && handed != nullptr);
  EXPECT_EQ(fds_of(own), fds_of(handed));
  EXPECT_EQ(fds_of(own).size(), 2u);
  std::free(own);
  std::free(handed);
}

int ready_count(const mbx_fdset* set) {
  std::vector<pollfd> p;
  for (int fd : fds_of(set)) p.push_back({fd, POLLIN, 0});
  return poll(p.data(), p.size(), 0);
}

TEST_F(Bus, DescriptorSetWakesForEveryWaitingRequest) {
  join_as_bridge();
  int32_t zero = 0, unknown = 12345, minus1 = -1, st = -1;
  mbx_fdset* set = mbx_fd_set(&zero);
  ASSERT_NE(set, nullptr);
  std::vector<int> fds = fds_of(set);
  ASSERT_EQ(fds.size(), 2u);
  int sockets = 0;
  for (int fd : fds) {
    struct stat sb;
    ASSERT_EQ(fstat(fd, &sb), 0) << fd;  // open in this process
    sockets += S_ISSOCK(sb.st_mode) ? 1 : 0;
  }
  EXPECT_EQ(sockets, 1);  // the broker connection, and the wake-up descriptor
  EXPECT_EQ(ready_count(set), 0);  // nothing waits
  std::free(set);

  set = mbx_fd_set(nullptr);
  EXPECT_EQ(fds_of(set), fds);
  std::free(set);
  set = mbx_fd_set(&unknown);
  EXPECT_TRUE(fds_of(set).empty());
  std::free(set);

  int runs = 0;
  behaviours()["TESTREQ"] = [&](int32_t*, void*) { ++runs; };
  Process a = cadsim({"request", "TESTREQ"}, "a");
  Process b = cadsim({"request", "TESTREQ"}, "b");
  // Let both requests arrive and be read off the socket, undispatched.
  int32_t wait = 100, result = 0;
  ASSERT_TRUE(fdk::test::wait_until(
      [&] {
        mbx_next(&wait, &result);
        return result >= 2;
      },
      10000));
  EXPECT_EQ(result, 2);
  // Nothing new is on the socket now, yet the set must wake for each.
  for (int i = 0; i < 2; ++i) {
    set = mbx_fd_set(&zero);
    EXPECT_GT(ready_count(set), 0) << "request " << i;
    std::free(set);
    mbx_dispatch(&minus1, &st);
    EXPECT_EQ(st, MBX_OK);
  }
  EXPECT_EQ(runs, 2);
  mbx_next(&zero, &result);
  EXPECT_EQ(result, 0);
  // With nothing left to dispatch the wake-up descriptor is quiet again
  // (the socket itself may still bring the requesters' late frames).
  for (int fd : fds) {
    struct stat sb;
    fstat(fd, &sb);
    pollfd p{fd, POLLIN, 0};
    if (!S_ISSOCK(sb.st_mode)) {
      EXPECT_EQ(poll(&p, 1, 0), 0);
    }
  }
  ASSERT_TRUE(a.ends_within(10000) && b.ends_within(10000));
  EXPECT_EQ(a.exit_code(), 0) << a.err();
  EXPECT_EQ(b.exit_code(), 0) << b.err();
}

TEST_F(Bus, CallToDeclaredServiceRunsItsRequestHandler) {
  join_as_bridge();
  std::vector<int32_t> kinds;
  std::string item;
  int32_t st = -1;
  behaviours()["DOKFRMRA"] = [&](int32_t* kind, void*) {
    kinds.push_back(*kind);
    item = read_item(&st);
  };
  // A service name is not a request name...
  Process by_name = cadsim({"request", "DOKFRMID"});
  ASSERT_TRUE(serve_while(by_name));
  EXPECT_EQ(by_name.exit_code(), 1);
  EXPECT_NE(by_name.err().find("no participant serves request DOKFRMID"), std::string::npos)
      << by_name.err();
  EXPECT_NE(by_name.err().find("status 6"), std::string::npos) << by_name.err();
  // ...a call to the service reaches the handler of "DOKFRMRA", kind 0.
  Process call = cadsim({"call", "DOKFRMID", "--item", "hello"});
  ASSERT_TRUE(serve_while(call));
  EXPECT_EQ(call.exit_code(), 0) << call.err();
  EXPECT_EQ(call.out(), "end\n");
  EXPECT_EQ(kinds, std::vector<int32_t>{0});
  EXPECT_EQ(st, MBX_OK);
  EXPECT_EQ(item, "hello");
}

TEST_F(Bus, DisplayConversationRepliesBeforeTheTagIsSent) {
  join_as_bridge();
  std::string path, tag;
  int32_t path_status = -1, tag_status = -1, write_status = -1, path_len = -1;
  behaviours()["DOKFRMDI"] = [&](int32_t*, void*) {
    char area[258];
    int32_t len257 = 257;
    mbx_read(&len257, area, &path_len, &path_status);
    path.assign(area, path_len > 0 ? static_cast<size_t>(path_len) : 0);
    int32_t three = 3, zero = 0;
    mbx_write("OK", &three, &zero, &write_status);
    // cadsim sends the tag only after it has read "OK": this read has to
    // wait for it.
    int32_t tag_len = -1;
    mbx_read(&len257, area, &tag_len, &tag_status);
    tag.assign(area, tag_len > 0 ? static_cast<size_t>(tag_len) : 0);
  };
  Process c = cadsim({"request", "DOKFRMDI", "--kind", "0", "--item", "/docs/$MANUAL/intro.fm",
                    "--read", "--pause", "300", "--item", "chapter2"});
  ASSERT_TRUE(serve_while(c));
  EXPECT_EQ(c.exit_code(), 0) << c.err();
  EXPECT_EQ(c.out(), "item 3 OK\\x00\nend\n");
  EXPECT_EQ(path_status, MBX_OK);
  EXPECT_EQ(path, "/docs/$MANUAL/intro.fm");
  EXPECT_EQ(path_len, 22);
  EXPECT_EQ(write_status, MBX_OK);
  EXPECT_EQ(tag_status, MBX_OK);
  EXPECT_EQ(tag, "chapter2");
}

TEST_F(Bus, SizeQueryReportsTheNextItemWithoutTakingIt) {
  join_as_bridge();
  std::vector<std::pair<int32_t, int32_t>> seen;  // (status, size or length)
  std::vector<std::string> items;
  behaviours()["DOKFRMFT"] = [&](int32_t*, void*) {
    int32_t zero = 0, size = -1, st = -1;
    mbx_read(&zero, nullptr, &size, &st);
    seen.emplace_back(st, size);
    mbx_read(&zero, nullptr, &size, &st);  // asked again: the same item
    seen.emplace_back(st, size);
    for (int i = 0; i < 3; ++i) {
      mbx_read(&zero, nullptr, &size, &st);
      seen.emplace_back(st, size);
      std::string buf(static_cast<size_t>(size > 0 ? size : 0), '\0');
      int32_t got = -1;
      mbx_read(&size, buf.data(), &got, &st);
      seen.emplace_back(st, got);
      items.push_back(buf);
    }
    size = -7;
    mbx_read(&zero, nullptr, &size, &st);  // after the last item
    seen.emplace_back(st, size);
  };
  Process c = cadsim({"request", "DOKFRMFT", "--item", "/doc/lists/", "--item-hex", "",
                    "--item", "MYFUNC  "});
  ASSERT_TRUE(serve_while(c));
  EXPECT_EQ(c.exit_code(), 0) << c.err();
  EXPECT_EQ(c.out(), "end\n");  // "DOKFRMFT" gets no reply item
  using P = std::pair<int32_t, int32_t>;
  EXPECT_EQ(seen, (std::vector<P>{{0, 11}, {0, 11}, {0, 11}, {0, 11}, {0, 0}, {0, 0},
                                  {0, 8}, {0, 8}, {MBX_E_NOITEM, -7}}));
  EXPECT_EQ(items, (std::vector<std::string>{"/doc/lists/", "", "MYFUNC  "}));
}

TEST_F(Bus, LongItemIsCutToTheLengthAskedWithStatusTwo) {
  join_as_bridge();
  int32_t st1 = -1, len1 = -1, st2 = -1, len2 = -1, st3 = -1, len3 = -1;
  char area[262];
  std::string third;
  behaviours()["TESTREQ"] = [&](int32_t*, void*) {
    std::memset(area, '#', sizeof area);
    int32_t len257 = 257, zero = 0;
    mbx_read(&len257, area, &len1, &st1);
    // A buffer with length 0 takes the item and copies nothing.
    char none = '#';
    mbx_read(&zero, &none, &len2, &st2);
    EXPECT_EQ(none, '#');
    third = read_item(&st3);
    len3 = static_cast<int32_t>(third.size());
  };
  Process c = cadsim({"request", "TESTREQ", "--item-fill", "300", "--item", "abc", "--item",
                    "after"});
  ASSERT_TRUE(serve_while(c));
  EXPECT_EQ(c.exit_code(), 0) << c.err();
  EXPECT_EQ(st1, MBX_TRUNCATED);
  EXPECT_EQ(len1, 257);  // bytes copied, so area[len1] = 0 stays inside
  EXPECT_EQ(std::string(area, 257), std::string(257, 'x'));
  EXPECT_EQ(area[257], '#');
  EXPECT_EQ(st2, MBX_TRUNCATED);
  EXPECT_EQ(len2, 0);
  EXPECT_EQ(st3, MBX_OK);  // the cut items are gone, the next one follows
  EXPECT_EQ(third, "after");
  EXPECT_EQ(len3, 5);
}

TEST_F(Bus, RequestInfoAnswersZeroOnlyInsideARequest) {
  join_as_bridge();
  int32_t kind = 99, conv = 99, st = 99;
  char req[12], from[12];
  std::memset(req, 'Z', sizeof req);
  std::memset(from, 'Z', sizeof from);
  mbx_request_info(&kind, &conv, req, from, &st);
  EXPECT_EQ(st, MBX_E_NOREQUEST);
  EXPECT_EQ(kind, 99);
  EXPECT_EQ(conv, 99);
  EXPECT_EQ(std::string(req, 12), std::string(12, 'Z'));

  int32_t in_st = -1, in_kind = -1, in_conv = -1;
  char in_req[12], in_from[12];
  behaviours()["DOKFRMDI"] = [&](int32_t*, void*) {
    mbx_request_info(&in_kind, &in_conv, in_req, in_from, &in_st);
  };
  Process c = cadsim({"request", "DOKFRMDI", "--kind", "7", "--name", "CAD42"});
  ASSERT_TRUE(serve_while(c));
  EXPECT_EQ(c.exit_code(), 0) << c.err();
  EXPECT_EQ(in_st, MBX_OK);
  EXPECT_EQ(in_kind, 7);
  EXPECT_GT(in_conv, 0);
  EXPECT_EQ(std::string(in_req, 12), std::string("DOKFRMDI\0\0\0\0", 12));
  EXPECT_EQ(std::string(in_from, 12), std::string("CAD42   \0\0\0\0", 12));

  // After the request has ended, outside again.
  st = 99;
  mbx_request_info(nullptr, nullptr, nullptr, nullptr, &st);
  EXPECT_EQ(st, MBX_E_NOREQUEST);
}

// The bridge's call, as it is made from a Frame callback: open, send the
// 4-byte length word as the last item, receive three reply items.
TEST_F(Bus, CallSendsTheWordAndReceivesReplyItemsInOrder) {
  join_as_bridge();
  Process serve = cadsim({"serve", "CURFCT", "--count", "1", "--reply", "/doc/lists/",
                        "--reply", "functions.fm", "--reply", "MYFUNC  "},
                       "serve");
  ASSERT_TRUE(serve.wait_for_output("ready\n", 10000)) << serve.err();

  int32_t one = 1, zero = 0, four = 4, conv = 0, st = -1;
  mbx_call("CURFCT  ", &one, &conv, &st);
  ASSERT_EQ(st, MBX_OK);
  EXPECT_GT(conv, 0);
  mbx_send("CURFCT  ", "CURFCT  ", &four, &four, &one, &zero, &st);
  ASSERT_EQ(st, MBX_OK);

  std::vector<std::string> replies;
  for (;;) {
    int32_t size = -1;
    mbx_receive("CURFCT  ", "CURFCT  ", &zero, nullptr, &size, &st);
    if (st != MBX_OK) break;
    std::string buf(static_cast<size_t>(size), '\0');
    int32_t got = -1;
    mbx_receive("CURFCT  ", "CURFCT  ", &size, buf.data(), &got, &st);
    ASSERT_EQ(st, MBX_OK);
    replies.push_back(buf);
  }
  EXPECT_EQ(st, MBX_E_NOITEM);  // the service's handler has returned
  EXPECT_EQ(replies, (std::vector<std::string>{"/doc/lists/", "functions.fm", "MYFUNC  "}));
  ASSERT_TRUE(serve.ends_within(10000));
  EXPECT_EQ(serve.exit_code(), 0) << serve.err();
  EXPECT_EQ(serve.out(), "ready\ncall 1\nitem 4 \\x04\\x00\\x00\\x00\nreplied 1\n");
}

TEST_F(Bus, ReceiveCutsLongReplyAndAnyRequestNameMatches) {
  join_as_bridge();
  Process serve = cadsim({"serve", "CURFCT", "--request", "FCTREQ", "--count", "1",
                        "--reply-fill", "40", "--reply", "tail"},
                       "serve");
  ASSERT_TRUE(serve.wait_for_output("ready\n", 10000)) << serve.err();
  int32_t one = 1, zero = 0, four = 4, st = -1;
  mbx_call("CURFCT  ", &one, nullptr, &st);
  ASSERT_EQ(st, MBX_OK);
  // The request name must be the declared one, or blanks.
  mbx_send("CURFCT  ", "CURFCT  ", &four, &four, &one, &zero, &st);
  EXPECT_EQ(st, MBX_E_NOCALL);
  mbx_send("CURFCT  ", "FCTREQ  ", &four, &four, &one, &zero, &st);
  EXPECT_EQ(st, MBX_OK);
  char buf[16];
  int32_t sixteen = 16, got = -1;
  mbx_receive("CURFCT  ", kBlank8, &sixteen, buf, &got, &st);
  EXPECT_EQ(st, MBX_TRUNCATED);
  EXPECT_EQ(got, 16);
  mbx_receive("CURFCT  ", "FCTREQ  ", &sixteen, buf, &got, &st);
  EXPECT_EQ(st, MBX_OK);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(got)), "tail");
  ASSERT_TRUE(serve.ends_within(10000));
  EXPECT_EQ(serve.exit_code(), 0) << serve.err();
}

TEST_F(Bus, NewCallAbandonsTheUnreadPreviousOne) {
  join_as_bridge();
  Process serve = cadsim({"serve", "CURFCT", "--count", "2", "--reply", "answer"}, "serve");
  ASSERT_TRUE(serve.wait_for_output("ready\n", 10000)) << serve.err();
  int32_t one = 1, zero = 0, four = 4, st = -1, first = 0, second = 0;
  mbx_call("CURFCT  ", &one, &first, &st);
  ASSERT_EQ(st, MBX_OK);
  mbx_send("CURFCT  ", "CURFCT  ", &four, &four, &one, &zero, &st);
  ASSERT_EQ(st, MBX_OK);
  ASSERT_TRUE(serve.wait_for_output("replied 1\n", 10000));
  mbx_call("CURFCT  ", &one, &second, &st);  // the first reply is never read
  ASSERT_EQ(st, MBX_OK);
  EXPECT_NE(first, second);
  mbx_send("CURFCT  ", "CURFCT  ", &four, &four, &one, &zero, &st);
  ASSERT_EQ(st, MBX_OK);
  char buf[16];
  int32_t sixteen = 16, got = -1;
  mbx_receive("CURFCT  ", "CURFCT  ", &sixteen, buf, &got, &st);
  EXPECT_EQ(st, MBX_OK);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(got)), "answer");
  mbx_receive("CURFCT  ", "CURFCT  ", &sixteen, buf, &got, &st);
  EXPECT_EQ(st, MBX_E_NOITEM);  // only the second call's reply was there
  ASSERT_TRUE(serve.ends_within(10000));
  EXPECT_EQ(serve.exit_code(), 0) << serve.err();
}

TEST_F(Bus, CallFailuresAreStatusWords) {
  join_as_bridge();
  int32_t one = 1, two = 2, zero = 0, four = 4, st = -1, size = 0;
  mbx_call("CURFCT  ", &one, nullptr, &st);
  EXPECT_EQ(st, MBX_E_UNKNOWN);
  mbx_send("CURFCT  ", "CURFCT  ", &four, &four, &one, &zero, &st);
  EXPECT_EQ(st, MBX_E_NOCALL);
  mbx_receive("CURFCT  ", "CURFCT  ", &zero, nullptr, &size, &st);
  EXPECT_EQ(st, MBX_E_NOCALL);

  Process serve = cadsim({"serve", "CURFCT", "--service-version", "2"}, "serve");
  ASSERT_TRUE(serve.wait_for_output("ready\n", 10000)) << serve.err();
  mbx_call("CURFCT  ", &one, nullptr, &st);
  EXPECT_EQ(st, MBX_E_VERSION);
  mbx_call("CURFCT  ", &two, nullptr, &st);
  EXPECT_EQ(st, MBX_OK);
  // A participant cannot call the service it declares itself.
  mbx_call("DOKFRMID", &one, nullptr, &st);
  EXPECT_EQ(st, MBX_E_ARG);
}

}  // namespace
}  // namespace mbxtest
