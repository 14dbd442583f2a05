#include "morvek/state.h"

#include <algorithm>
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

}  // namespace

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

void init1a(State& s) { s.setting.n2 = s.setting.n1; }

void init1b(State& s) {
  allocating("allocate1", [&] {
    s.data.t2.assign(s.data.t1.span());
    if (s.hasValues()) s.data.x2.assign(s.data.x1.span());
  });
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

// Every detection replaces the extremes as a whole.
void allocate2b(State& s) {
  deallocate2b(s);
  allocating("allocate2b", [&] {
    s.data.t3.create(s.setting.n3);
    if (s.hasValues()) s.data.x3.create(s.setting.n3);
  });
}

void init2b(State& s) {
  if (s.setting.datatype != DataType::ordinary) return;
  s.setting.k = kUnsetInt;
  s.setting.z = kUnsetReal;
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

void init3a(State& s) { s.setting.l = kUnsetInt; }

void allocate3a(State& s) {
  allocating("allocate3a", [&] {
    s.setting.c.create(static_cast<long long>(s.setting.l) + 1);
    s.setting.n4.create(s.setting.l);
  });
}

void init3b(State& s) {
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

void init3c(State& s) { s.data.t4.fill(kUnsetReal); }

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

void allocate4f(State& s, int extent) {
  allocating("allocate4f", [&] {
    s.data.t.create(s.setting.l, extent);
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

// Release rules --------------------------------------------------------------

namespace {

struct GroupRow {
  Group group;
  int part;  // the Part of the dialog whose re-entry releases the group
  void (*deallocate)(State&);
};

// Release order. Groups 4a and 5a are made with the classes, 4c to 4f on the
// way from Part 3 to Part 4, so they belong to Part 3; 4b to each Part 4 pass.
constexpr GroupRow kGroups[] = {
    {Group::g0, 0, deallocate0},  {Group::g1, 1, deallocate1},  {Group::g2a, 2, deallocate2a},
    {Group::g2b, 2, deallocate2b}, {Group::g2c, 2, deallocate2c}, {Group::g3a, 3, deallocate3a},
    {Group::g3b, 3, deallocate3b}, {Group::g4a, 3, deallocate4a}, {Group::g4b, 4, deallocate4b},
    {Group::g4c, 3, deallocate4c}, {Group::g4d, 3, deallocate4d}, {Group::g4e, 3, deallocate4e},
    {Group::g4f, 3, deallocate4f}, {Group::g5a, 3, deallocate5a},
};

}  // namespace

void release(State& s, Group group) {
  for (const GroupRow& row : kGroups) {
    if (row.group == group) row.deallocate(s);
  }
}

void releaseFromPart(State& s, int part) {
  assert(part >= 1);
  for (const GroupRow& row : kGroups) {
    if (row.part >= part) row.deallocate(s);
  }
}

void releaseAll(State& s) {
  for (const GroupRow& row : kGroups) row.deallocate(s);
}

}  // namespace morvek
