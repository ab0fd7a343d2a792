// A model observer that keeps what it was told.
#pragma once

#include <vector>

#include "controller/controller_io.h"

namespace kestrune::test {

class RecordingObserver final : public ctl::ModelObserver {
 public:
  void OnSetHealth(bool allCurrent) override { health.push_back(allCurrent); }
  void OnAdaptersReleased() override { ++released; }
  std::vector<bool> health;
  int released = 0;
};

}  // namespace kestrune::test
