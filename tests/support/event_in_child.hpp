// Control events are process-wide and sticky: a test of how one is acted on
// runs in a child of the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string_view>

#include "records/control_events.hpp"
#include "records/failures.hpp"

namespace testing_support {

// Runs `step` in a child with the handlers of control events installed;
// `step` notes the event where it is to come. Passes when the event ends
// `step` as a ControlEvent.
inline void expect_event_acted_on(const std::function<void()>& step, std::string_view what = "") {
  constexpr int acted_on = 42;
  EXPECT_EXIT(
      {
        records::install_control_event_handlers();
        try {
          step();
        } catch (const records::ControlEvent&) {
          std::_Exit(acted_on);
        } catch (...) {
          std::_Exit(1);
        }
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(acted_on), "")
      << what;
}

}  // namespace testing_support
