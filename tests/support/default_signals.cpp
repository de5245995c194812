// Every test program starts with the signals as its tests need them,
// whatever the runner that started it had:
// - the control signals at their defaults: a job started in the background
//   without job control ignores SIGINT and SIGQUIT, and the tool keeps a
//   signal that is ignored when it starts ignored, in the runs the tests
//   start and in the tests that install its handlers;
// - SIGPIPE ignored: a run may end, as told, before the test has written
//   all it meant to its input, and the write must fail, not end the test.

#include <csignal>
#include <initializer_list>

namespace {

const bool signals_as_the_tests_need_them = [] {
  for (const int signal_number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) std::signal(signal_number, SIG_DFL);
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}();

}  // namespace
