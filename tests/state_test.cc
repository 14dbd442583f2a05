#include "morvek/state.h"

#include <gtest/gtest.h>
#include <climits>
#include <functional>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

// The message of the stop, or "(went on)".
std::string stopOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Fatal& fatal) {
    return fatal.lines().at(0);
  }
  return "(went on)";
}

// A return to Part m releases the groups of Part m and all later ones; a
// release passes over the value arrays that event times never hold.
// Releasing an expected array twice stops, as does space that cannot be had.
TEST(StateTest, GroupsAreReleasedByTheirPart) {
  EXPECT_EQ(kRiskFloor, 9.999999960041972e-13);  // the single-precision value
  for (const DataType type : {DataType::ordinary, DataType::times}) {
    State s = withData(type, {1, 2, 3, 4, 5, 6, 7, 8});
    if (type == DataType::ordinary) setSmoothed(s, std::vector(8, 1.0), std::vector(8, 1.0));
    setExtremes(s, {2, 5}, {1, 1});
    setClasses(s, {0, 1, 2}, {{2}, {5}});
    setPseudodata(s, {{-2, 2}, {5, 15}});
    setGrid(s, 0, 9, 64);
    releaseFromPart(s, 4);  // back from Part 5 to Part 4: only the rate arrays
    EXPECT_FALSE(s.data.lx.held());
    EXPECT_TRUE(s.data.t.held() && s.setting.h.held() && s.data.u.held());
    releaseFromPart(s, 3);
    EXPECT_FALSE(s.data.t.held() || s.setting.nsim.held() || s.setting.h.held() || s.setting.c.held() ||
                 s.data.t4.held());
    EXPECT_TRUE(s.data.t3.held());
    releaseFromPart(s, 1);
    EXPECT_FALSE(s.data.t2.held() || s.data.x2.held() || s.data.b2.held() || s.data.t3.held());
    EXPECT_TRUE(s.data.t1.held());
    EXPECT_EQ(stopOf([&] { deallocate1(s); }), "Subroutine deallocate1: unexpected deallocation error");
    deallocate0(s);
    EXPECT_EQ(stopOf([&] { deallocate0(s); }), "Subroutine deallocate0: unexpected deallocation error");
    deallocate2b(s);  // the groups after 2a pass over what is not held
  }
#if !defined(__SANITIZE_ADDRESS__)  // AddressSanitizer aborts on a failed operator new instead of throwing
  State s;
  s.setting.l = 3;  // three classes of 2^31 reals: more than the machine has
  EXPECT_EQ(stopOf([&] { allocate4f(s, INT_MAX); }), "Subroutine allocate4f: space requested not possible");
#endif
}

}  // namespace
}  // namespace morvek
