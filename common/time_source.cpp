#include "common/time_source.h"

namespace veltra {
namespace {

class SteadyTimeSource final : public TimeSource {
  public:
    Clock::time_point Now() override { return Clock::now(); }
};

}  // namespace

TimeSource& SteadyTime() {
    static SteadyTimeSource time;
    return time;
}

}  // namespace veltra
