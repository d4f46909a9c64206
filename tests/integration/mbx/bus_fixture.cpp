#include "bus_fixture.h"

#include <sys/select.h>

#include <cstdlib>
#include <cstring>

namespace mbxtest {

std::map<std::string, Behaviour>& behaviours() {
  static std::map<std::string, Behaviour> m;
  return m;
}

extern "C" void on_request(int32_t* kind, void* value) {
  char name[12];
  int32_t st = -1;
  mbx_request_info(nullptr, nullptr, name, nullptr, &st);
  ASSERT_EQ(st, MBX_OK);
  std::string n(name, 8);
  while (!n.empty() && n.back() == ' ') n.pop_back();
  auto it = behaviours().find(n);
  if (it != behaviours().end()) it->second(kind, value);
}

std::string read_item(int32_t* status) {
  int32_t zero = 0, size = -1;
  mbx_read(&zero, nullptr, &size, status);
  if (*status != MBX_OK) return {};
  std::string item(static_cast<size_t>(size), '\0');
  int32_t got = -1;
  mbx_read(&size, item.data(), &got, status);
  item.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return item;
}

std::vector<int> fds_of(const mbx_fdset* set) {
  std::vector<int> fds;
  for (int fd = 0; fd < 32 * MBX_FDSET_WORDS; ++fd)
    if (set->words[fd / 32] & (uint32_t{1} << (fd % 32))) fds.push_back(fd);
  return fds;
}

void Bus::SetUp() {
  ASSERT_FALSE(dir_.path().empty());
  behaviours().clear();
  sock_ = dir_.path() + "/bus.sock";
  setenv("MBX_SOCKET", sock_.c_str(), 1);
  setenv("MBX_TIMEOUT", "5", 1);
  start_broker();
}

void Bus::TearDown() {
  // A broker that is still up must stop cleanly: under the sanitizers a
  // leak or a fault of mbxd shows in its exit status.
  if (broker_.running()) {
    broker_.stop();
    EXPECT_EQ(broker_.exit_code(), 0) << broker_.err();
  }
}

void Bus::start_broker() {
  broker_ = fdk::test::start_broker(MBXD_PATH, dir_.path(), sock_, {"--verbose"});
}

void Bus::join_as_bridge() {
  int32_t st = -1, one = 1;
  mbx_init(nullptr, &st);
  ASSERT_EQ(st, MBX_OK);
  for (const char* name : {"DOKFRMRA", "DOKFRMDI", "DOKFRMFT", "TESTREQ "}) {
    mbx_register_request(name, on_request, &st);
    ASSERT_EQ(st, MBX_OK) << name;
  }
  mbx_declare("DOKFRMID", &one, "DOKFRMRA", &st);
  ASSERT_EQ(st, MBX_OK);
  mbx_end_setup("MBX_0000");
}

fdk::test::Process Bus::cadsim(const std::vector<std::string>& args, const std::string& tag) {
  std::vector<std::string> argv = {CADSIM_PATH, "--socket", sock_, "--timeout", "20"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto c = fdk::test::Process(argv, dir_.path(), tag);
  EXPECT_GT(c.pid(), 0);
  return c;
}

bool Bus::serve_until(const std::function<bool()>& done, int ms) {
  int32_t handle = 0, zero = 0, minus1 = -1, result = 0, st = 0;
  return fdk::test::wait_until(
      [&] {
        if (done()) return true;
        mbx_fdset* set = mbx_fd_set(&handle);
        if (set == nullptr) return false;
        fd_set rd;
        FD_ZERO(&rd);
        int top = -1;
        for (int fd : fds_of(set)) {
          FD_SET(fd, &rd);
          top = fd;
        }
        std::free(set);
        timeval tv{0, 50000};
        if (select(top + 1, &rd, nullptr, nullptr, &tv) > 0) {
          mbx_next(&zero, &result);
          if (result > 0) mbx_dispatch(&minus1, &st);
        }
        return done();
      },
      ms, 0);
}

bool Bus::serve_while(fdk::test::Process& c, int ms) {
  return serve_until([&] { return !c.running(); }, ms);
}

}  // namespace mbxtest

namespace mbxtest {

void Bus::expect_still_served() {
  fdk::test::Process c = cadsim({"request", "TESTREQ"}, "check");
  ASSERT_TRUE(serve_while(c));
  EXPECT_EQ(c.exit_code(), 0) << c.err();
  EXPECT_EQ(c.out(), "end\n");
}

}  // namespace mbxtest
