// bus_fixture.h - a broker of its own for each test, this test process as
// a participant through libmbx.so (playing the bridge), and cadsim
// processes playing the CAD side.
#ifndef MBX_BUS_FIXTURE_H
#define MBX_BUS_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mbx.h"
#include "testsupport.hpp"

namespace mbxtest {

using Behaviour = std::function<void(int32_t* kind, void* value)>;

// What each request name does when this process serves it; reset per test.
std::map<std::string, Behaviour>& behaviours();

// The one handler registered for every name: finds the running request's
// name with mbx_request_info and runs its behaviour.
extern "C" void on_request(int32_t* kind, void* value);

// Reads one item of the running request (size query, then a read of that
// size); the status of the read in `status`.
std::string read_item(int32_t* status);

// The set's descriptors, in increasing order.
std::vector<int> fds_of(const mbx_fdset* set);

class Bus : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void start_broker();
  // Joins and registers as the bridge does, plus the request "TESTREQ".
  void join_as_bridge();
  fdk::test::Process cadsim(const std::vector<std::string>& args,
                           const std::string& tag = "cadsim");
  // Runs the bridge's loop (descriptor set, select, next, dispatch) until
  // `done` holds or `ms` passed; false on the time limit.
  bool serve_until(const std::function<bool()>& done, int ms = 15000);
  // Serves until the child has exited.
  bool serve_while(fdk::test::Process& c, int ms = 15000);
  // A request to "TESTREQ" still goes through: the broker routes on.
  void expect_still_served();

  fdk::test::TempDir dir_;
  std::string sock_;
  fdk::test::Process broker_;
};

inline const char kBlank8[] = "        ";

}  // namespace mbxtest

#endif
