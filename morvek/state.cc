#include "morvek/state.h"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <string>

#include "morvek/fatal.h"

namespace morvek {

std::string_view datatypeText(DataType type) {
  switch (type) {
    case DataType::ordinary: return "ordinary ";
    case DataType::extreme: return "extreme  ";
    case DataType::times: return "times    ";
  }
  return "";
}

std::string_view ruleText(Rule rule) {
  return rule == Rule::twopoint ? "twopoint  " : "reflection";
}

namespace {

// Groups 0, 1 and 2a must find every array of the data type held.
template <class A>
void releaseExpected(A& array, const char* routine) {
  if (!array.held()) {
    throw Fatal(std::string("Subroutine ") + routine + ": unexpected deallocation error");
  }
  array.release();
}

int largest(const Held<int>& values) {
  int most = 0;
  for (int v : values) most = std::max(most, v);
  return most;
}

// Group 0 --------------------------------------------------------------------

void allocate0(State& s) {
  allocating("allocate0", [&] {
    s.data.t1.create(s.setting.n1);
    if (s.hasValues()) s.data.x1.create(s.setting.n1);
  });
}

void init0(State& s) {
  s.data.t1.fill(kUnsetReal);
  s.data.x1.fill(kUnsetReal);
}

void deallocate0(State& s) {
  releaseExpected(s.data.t1, "deallocate0");
  if (s.hasValues()) releaseExpected(s.data.x1, "deallocate0");
}

// Group 1 --------------------------------------------------------------------

void allocate1(State& s) {
  allocating("allocate1", [&] {
    s.data.t2.create(s.setting.n2);
    if (s.hasValues()) s.data.x2.create(s.setting.n2);
  });
}

// The whole data, or as much of it as fits: an extraction copies its own
// points over.
void init1(State& s) {
  std::copy_n(s.data.t1.begin(), std::min(s.data.t1.size(), s.data.t2.size()), s.data.t2.begin());
  std::copy_n(s.data.x1.begin(), std::min(s.data.x1.size(), s.data.x2.size()), s.data.x2.begin());
}

void deallocate1(State& s) {
  releaseExpected(s.data.t2, "deallocate1");
  if (s.hasValues()) releaseExpected(s.data.x2, "deallocate1");
}

// Group 2a -------------------------------------------------------------------

void allocate2a(State& s) {
  if (s.setting.datatype != DataType::ordinary) return;
  allocating("allocate2a", [&] {
    s.data.b2.create(s.setting.n2);
    s.data.v2.create(s.setting.n2);
  });
}

void init2a(State& s) {
  s.data.b2.fill(kUnsetReal);
  s.data.v2.fill(kUnsetReal);
}

void deallocate2a(State& s) {
  if (s.setting.datatype != DataType::ordinary) return;
  releaseExpected(s.data.b2, "deallocate2a");
  releaseExpected(s.data.v2, "deallocate2a");
}

// Group 2b -------------------------------------------------------------------

void allocate2b(State& s) {
  allocating("allocate2b", [&] {
    s.data.t3.create(s.setting.n3);
    if (s.hasValues()) s.data.x3.create(s.setting.n3);
  });
}

void deallocate2b(State& s) {
  s.data.t3.release();
  s.data.x3.release();
}

// Group 2c -------------------------------------------------------------------

void allocate2c(State& s) {
  const int entries = s.setting.kmax - s.parameters.kmin + 1;
  allocating("allocate2c", [&] {
    s.cvmeddata.cv1.create(entries);
    s.cvmeddata.cvm.create(entries);
    s.cvmeddata.cvj.create(entries);
  });
}

void init2c(State& s) {
  s.cvmeddata.cv1.fill(kUnsetReal);
  s.cvmeddata.cvm.fill(kUnsetReal);
  s.cvmeddata.cvj.fill(kUnsetInt);
}

void deallocate2c(State& s) {
  s.cvmeddata.cv1.release();
  s.cvmeddata.cvm.release();
  s.cvmeddata.cvj.release();
}

// Groups 3a and 3b -----------------------------------------------------------

void allocate3a(State& s) {
  allocating("allocate3a", [&] {
    s.setting.c.create(static_cast<long long>(s.setting.l) + 1);
    s.setting.n4.create(s.setting.l);
  });
}

void init3a(State& s) {
  s.setting.c.fill(kUnsetReal);
  s.setting.n4.fill(kUnsetInt);
}

void deallocate3a(State& s) {
  s.setting.c.release();
  s.setting.n4.release();
}

void allocate3b(State& s) {
  allocating("allocate3b", [&] { s.data.t4.create(s.setting.l, largest(s.setting.n4)); });
}

void init3b(State& s) { s.data.t4.fill(kUnsetReal); }

void deallocate3b(State& s) { s.data.t4.release(); }

// Groups 4a to 4f ------------------------------------------------------------

void allocate4a(State& s) {
  allocating("allocate4a", [&] {
    s.setting.h.create(s.setting.l);
    s.setting.hcvint.create(s.setting.l);
  });
}

void init4a(State& s) {
  s.setting.h.fill(kUnsetReal);
  s.setting.hcvint.fill(kUnsetReal);
}

void deallocate4a(State& s) {
  s.setting.h.release();
  s.setting.hcvint.release();
}

void allocate4b(State& s) {
  allocating("allocate4b", [&] {
    s.data.lx.create(s.parameters.ngrid);
    s.data.ly.create(s.setting.l, s.parameters.ngrid);
    s.data.lyl.create(s.setting.l, s.parameters.ngrid);
    s.data.lyu.create(s.setting.l, s.parameters.ngrid);
  });
}

void init4b(State& s) {
  s.data.lx.fill(kUnsetReal);
  s.data.ly.fill(kUnsetReal);
  s.data.lyl.fill(kUnsetReal);
  s.data.lyu.fill(kUnsetReal);
}

void deallocate4b(State& s) {
  s.data.lx.release();
  s.data.ly.release();
  s.data.lyl.release();
  s.data.lyu.release();
}

void allocate4c(State& s) {
  allocating("allocate4c", [&] { s.data.cv.create(s.setting.l, s.parameters.nhsrch); });
}

void init4c(State& s) { s.data.cv.fill({kUnsetReal, kUnsetReal}); }

void deallocate4c(State& s) { s.data.cv.release(); }

void allocate4d(State& s) {
  allocating("allocate4d", [&] {
    s.data.u.create(s.setting.l);
    s.data.p.create(s.setting.l);
  });
}

void init4d(State& s) {
  s.data.u.fill(kUnsetReal);
  s.data.p.fill(kUnsetReal);
}

void deallocate4d(State& s) {
  s.data.u.release();
  s.data.p.release();
}

void allocate4e(State& s) {
  allocating("allocate4e", [&] { s.data.ft.create(s.parameters.ngrid); });
}

void init4e(State& s) { s.data.ft.fill(kUnsetReal); }

void deallocate4e(State& s) { s.data.ft.release(); }

void allocate4f(State& s) {
  allocating("allocate4f", [&] {
    s.data.t.create(s.setting.l, s.setting.maxnrr);
    s.setting.n.create(s.setting.l);
  });
}

void init4f(State& s) {
  s.data.t.fill(kUnsetReal);
  s.setting.n.fill(kUnsetInt);
}

void deallocate4f(State& s) {
  s.data.t.release();
  s.setting.n.release();
}

// Group 5a -------------------------------------------------------------------

void allocate5a(State& s) {
  allocating("allocate5a", [&] { s.setting.nsim.create(s.setting.l); });
}

void init5a(State& s) { s.setting.nsim.fill(kUnsetInt); }

void deallocate5a(State& s) { s.setting.nsim.release(); }

// The table ------------------------------------------------------------------

struct GroupRow {
  Group group;
  Stage stage;    // the stage that makes it
  bool onEntry;   // made on entering the stage, or by the phase that finds its size
  int part;       // the Part of the dialog whose re-entry releases it
  void (*allocate)(State&);
  void (*init)(State&);  // null: the arrays need no start values
  void (*release)(State&);
};

// Release order. The rates and bands (4b) live as long as the bandwidths
// and simulation counts they belong to, so that only a return to Part 4
// would release them and a return from Part 5 keeps them; the other groups
// made on the way to Part 4 go with the classes.
constexpr GroupRow kGroups[] = {
    {Group::g0, Stage::start, true, 0, allocate0, init0, deallocate0},
    {Group::g1, Stage::interval, true, 1, allocate1, init1, deallocate1},
    {Group::g2a, Stage::detection, true, 2, allocate2a, init2a, deallocate2a},
    {Group::g2b, Stage::detection, false, 2, allocate2b, nullptr, deallocate2b},
    {Group::g2c, Stage::detection, true, 2, allocate2c, init2c, deallocate2c},
    {Group::g3a, Stage::classes, false, 3, allocate3a, init3a, deallocate3a},
    {Group::g3b, Stage::classes, false, 3, allocate3b, init3b, deallocate3b},
    {Group::g4a, Stage::classes, true, 3, allocate4a, init4a, deallocate4a},
    {Group::g4b, Stage::risk, true, 4, allocate4b, init4b, deallocate4b},
    {Group::g4c, Stage::risk, true, 3, allocate4c, init4c, deallocate4c},
    {Group::g4d, Stage::risk, true, 3, allocate4d, init4d, deallocate4d},
    {Group::g4e, Stage::risk, true, 3, allocate4e, init4e, deallocate4e},
    {Group::g4f, Stage::risk, false, 3, allocate4f, init4f, deallocate4f},
    {Group::g5a, Stage::classes, true, 3, allocate5a, init5a, deallocate5a},
};

constexpr bool inGroupOrder() {
  for (std::size_t i = 0; i < std::size(kGroups); ++i) {
    if (kGroups[i].group != static_cast<Group>(i)) return false;
  }
  return true;
}
static_assert(inGroupOrder(), "one row per group, in the order of Group");

const GroupRow& rowOf(Group group) { return kGroups[static_cast<std::size_t>(group)]; }

void allocateAndInit(const GroupRow& row, State& s) {
  row.allocate(s);
  if (row.init != nullptr) row.init(s);
}

}  // namespace

void enter(State& s, Stage stage) {
  Setting& g = s.setting;
  switch (stage) {
    case Stage::interval: g.n2 = g.n1; break;
    case Stage::detection:
      if (g.datatype == DataType::ordinary) {
        g.k = kUnsetInt;
        g.z = kUnsetReal;
      }
      break;
    case Stage::classification: g.l = kUnsetInt; break;
    case Stage::start:
    case Stage::classes:
    case Stage::risk: break;
  }
  for (const GroupRow& row : kGroups) {
    if (row.stage == stage && row.onEntry) allocateAndInit(row, s);
  }
}

void make(State& s, Group group) {
  // The interval, the one group made on entry that a phase makes again, is
  // always held then; the others pass over what is not held.
  const GroupRow& row = rowOf(group);
  row.release(s);
  allocateAndInit(row, s);
}

void release(State& s, Group group) { rowOf(group).release(s); }

void releaseFromPart(State& s, int part) {
  assert(part >= 1);
  for (const GroupRow& row : kGroups) {
    if (row.part >= part) row.release(s);
  }
}

void releaseAll(State& s) {
  for (const GroupRow& row : kGroups) row.release(s);
}

}  // namespace morvek
