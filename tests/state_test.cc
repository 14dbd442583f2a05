#include "morvek/state.h"

#include <gtest/gtest.h>

#include <climits>

#include "morvek/fatal.h"
#include "morvek/interval.h"

namespace morvek {
namespace {

State withData(DataType type, int n1) {
  State s;
  s.setting.datatype = type;
  s.setting.n1 = n1;
  allocate0(s);
  init0(s);
  for (int i = 0; i < n1; ++i) s.data.t1[static_cast<std::size_t>(i)] = i;
  return s;
}

// Walks the groups in the order the dialog creates them up to Part 5.
void enterAllParts(State& s) {
  init1a(s);
  allocate1(s);
  init1b(s);
  chsett3a(s);
  allocate2a(s);
  allocate2c(s);
  init2a(s);
  init2b(s);
  init2c(s);
  s.setting.n3 = 4;
  allocate2b(s);
  init3a(s);
  s.setting.l = 2;
  allocate3a(s);
  init3b(s);
  s.setting.n4[0] = 3;
  s.setting.n4[1] = 1;
  allocate3b(s);
  init3c(s);
  allocate4a(s);
  init4a(s);
  allocate5a(s);
  init5a(s);
  allocate4c(s);
  init4c(s);
  allocate4d(s);
  init4d(s);
  allocate4e(s);
  init4e(s);
  allocate4b(s);
  init4b(s);
  allocate4f(s, 9);
  init4f(s);
}

TEST(StateTest, RiskFloorIsTheSinglePrecisionValue) {
  EXPECT_EQ(kRiskFloor, 9.999999960041972e-13);
}

TEST(StateTest, GroupsFollowTheDataTypeAndSizes) {
  State s = withData(DataType::ordinary, 100);
  enterAllParts(s);
  EXPECT_EQ(s.data.x1.size(), 100u);
  EXPECT_EQ(s.data.t1[0], 0.0);  // filled by the test after init0
  EXPECT_EQ(s.data.b2.size(), 100u);
  EXPECT_EQ(s.data.b2[99], kUnsetReal);
  EXPECT_EQ(s.setting.kmax, 25);
  EXPECT_EQ(s.cvmeddata.cvj.size(), 23u);
  EXPECT_EQ(s.cvmeddata.cvj[0], kUnsetInt);
  EXPECT_EQ(s.setting.c.size(), 3u);  // class bounds 0..l
  EXPECT_EQ(s.data.t4.rows(), 2u);
  EXPECT_EQ(s.data.t4.cols(), 3u);  // the largest class
  EXPECT_EQ(s.data.ly.cols(), 2048u);
  EXPECT_EQ(s.data.cv.cols(), 400u);
  EXPECT_EQ(s.data.cv.at(1, 399)[1], kUnsetReal);
  EXPECT_EQ(s.data.t.cols(), 9u);
  EXPECT_EQ(s.setting.nsim[1], kUnsetInt);

  State times = withData(DataType::times, 6);
  enterAllParts(times);
  EXPECT_FALSE(times.data.x1.held());
  EXPECT_FALSE(times.data.x2.held());
  EXPECT_FALSE(times.data.x3.held());
  EXPECT_FALSE(times.data.b2.held());
  EXPECT_EQ(times.setting.kmax, 3);
  EXPECT_EQ(times.cvmeddata.cv1.size(), 1u);
  releaseAll(times);  // passes over the value arrays it never held
  EXPECT_FALSE(times.data.t1.held());
}

TEST(StateTest, ResetsOfTheEntryRoutines) {
  State s = withData(DataType::ordinary, 10);
  s.setting.k = 5;
  s.setting.z = 2.5;
  init2b(s);
  EXPECT_EQ(s.setting.k, kUnsetInt);
  EXPECT_EQ(s.setting.z, kUnsetReal);

  State events = withData(DataType::extreme, 10);
  events.setting.z = 2.5;
  init2b(events);
  EXPECT_EQ(events.setting.z, 2.5);
}

TEST(StateTest, ReturnsReleaseTheirPartAndAllLaterOnes) {
  State s = withData(DataType::ordinary, 20);
  enterAllParts(s);
  releaseFromPart(s, 4);  // back from Part 5 to Part 4: only the rate arrays
  EXPECT_FALSE(s.data.lx.held());
  EXPECT_TRUE(s.data.t.held());
  EXPECT_TRUE(s.data.cv.held());

  releaseFromPart(s, 3);
  EXPECT_FALSE(s.data.t.held());
  EXPECT_FALSE(s.setting.nsim.held());
  EXPECT_FALSE(s.setting.h.held());
  EXPECT_TRUE(s.data.t3.held());

  releaseFromPart(s, 1);
  EXPECT_FALSE(s.data.t2.held());
  EXPECT_FALSE(s.data.b2.held());
  EXPECT_TRUE(s.data.t1.held());

  // Twice from the last Part back to the first holds nothing twice.
  for (int round = 0; round < 2; ++round) {
    enterAllParts(s);
    releaseFromPart(s, 1);
  }
  enterAllParts(s);
  releaseAll(s);
  EXPECT_FALSE(s.data.t1.held());
}

TEST(StateTest, ReleasingAnExpectedArrayThatIsNotHeldStops) {
  State s = withData(DataType::ordinary, 10);
  try {
    deallocate1(s);
    FAIL() << "group 1 was never created";
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), std::vector<std::string>{
                                 "Subroutine deallocate1: unexpected deallocation error"});
  }
  deallocate2b(s);  // the other groups pass over what is not held
  deallocate0(s);
  EXPECT_THROW(deallocate0(s), Fatal);
}

TEST(StateTest, SpaceThatCannotBeHadStopsWithTheRoutinesName) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer aborts on a failed operator new instead of throwing";
#endif
  State s = withData(DataType::ordinary, 10);
  s.setting.l = 3;
  try {
    allocate4f(s, INT_MAX);  // three classes of 2^31 reals: more than the machine has
    FAIL() << "the allocation cannot succeed";
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(),
              std::vector<std::string>{"Subroutine allocate4f: space requested not possible"});
  }
}

}  // namespace
}  // namespace morvek
