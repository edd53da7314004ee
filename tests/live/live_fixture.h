// The simulated console with its game stepped by the test, frame by frame, and the link connected.
#pragma once

#include "sim/game_model.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {

class LiveFixture : public SimFixture {
 protected:
  using Game = sim::GameModel;
  void SetUp() override {
    SimFixture::SetUp();
    model().game.clockDriven = false;
    model().uploads.hooked = true;
    ASSERT_EQ(Connect(), 1);
  }
  void Play(uint64_t frames) {
    adapter().Quiesce();
    model().game.Step(model().MemorySpan(), frames);
  }
};

}  // namespace zemlo::testing
