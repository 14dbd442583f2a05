#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace morvek::testing {

ScratchDir::ScratchDir() : previous_(std::filesystem::current_path()) {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("morvek-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }

std::string readFile(const std::string& name) {
  std::ostringstream text;
  text << std::ifstream(name, std::ios::binary).rdbuf();
  return text.str();
}

void RecordingRunner::run(const std::string& commandLine) {
  commands.push_back(commandLine);
  commandFiles.push_back(readFile("2.tmp"));
  dataFiles.push_back(readFile("1.tmp"));
}

std::string sourcePath(const std::string& relative) { return std::string(MORVEK_SOURCE_DIR) + "/" + relative; }

Lines stopLines(const std::function<void()>& action) {
  try {
    action();
  } catch (const Fatal& fatal) {
    return fatal.lines();
  }
  return {"(went on)"};
}

std::string stopText(const Fatal& stop) {
  std::string text = stop.lines().empty() ? "stop\n" : "";
  for (const std::string& line : stop.lines()) text += "stop: " + line + "\n";
  return text;
}

void expectGolden(const std::string& name, const std::string& text) {
  const std::string path = sourcePath("tests/golden/" + name);
  if (std::getenv("MORVEK_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  ASSERT_TRUE(std::filesystem::exists(path)) << "no golden file " << path;
  EXPECT_EQ(text, readFile(path)) << "differs from " << path;
}

std::vector<double> bruteRunmed(const std::vector<double>& x, int k, bool leaveOut) {
  const std::size_t n = x.size();
  const auto uk = static_cast<std::size_t>(k);
  std::vector<double> y(n);
  for (std::size_t i = uk; i + uk < n; ++i) {
    std::vector<double> w(x.begin() + static_cast<std::ptrdiff_t>(i - uk),
                          x.begin() + static_cast<std::ptrdiff_t>(i + uk + 1));
    if (leaveOut) w.erase(w.begin() + k);
    std::sort(w.begin(), w.end());
    y[i] = leaveOut ? 0.5 * (w[uk - 1] + w[uk]) : w[uk];
  }
  for (std::size_t i = 0; i < uk && uk < n; ++i) {
    y[i] = y[uk];
    y[n - 1 - i] = y[n - 1 - uk];
  }
  return y;
}

long double gaussianKernel(long double d, long double h) {
  return std::exp(-d * d / (2 * h * h)) / (h * std::sqrt(2 * std::numbers::pi_v<long double>));
}

Held2<double> table(const std::vector<std::vector<double>>& rows) {
  std::size_t cols = 0;
  for (const auto& row : rows) cols = std::max(cols, row.size());
  Held2<double> a;
  a.create(static_cast<long long>(rows.size()), static_cast<long long>(cols));
  a.fill(kUnsetReal);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) a.at(r, c) = rows[r][c];
  }
  return a;
}

State withData(DataType type, std::vector<double> times, std::vector<double> values) {
  State s;
  s.setting.datatype = type;
  s.setting.inputfile = "data/flows.txt";
  s.setting.n1 = s.setting.n2 = static_cast<int>(times.size());
  s.setting.tobsl = times.front();
  s.setting.tobsr = times.back();
  s.data.t1 = s.data.t2 = held(times);
  if (type != DataType::times) {
    values.resize(times.size(), 1.0);
    s.data.x1 = s.data.x2 = held(values);
  }
  return s;
}

void setSmoothed(State& s, std::vector<double> b, std::vector<double> v) {
  s.data.b2 = held(b);
  s.data.v2 = held(v);
}

void setExtremes(State& s, std::vector<double> times, std::vector<double> values) {
  s.setting.n3 = static_cast<int>(times.size());
  s.data.t3 = held(times);
  if (s.hasValues()) s.data.x3 = held(values);
}

namespace {

Held<int> lengths(const std::vector<std::vector<double>>& rows) {
  std::vector<int> n;
  for (const auto& row : rows) n.push_back(static_cast<int>(row.size()));
  return held(n);
}

}  // namespace

void setClasses(State& s, std::vector<double> bounds, const std::vector<std::vector<double>>& times) {
  s.setting.l = static_cast<int>(times.size());
  s.setting.c = held(bounds);
  s.setting.n4 = lengths(times);
  s.data.t4 = table(times);
  enter(s, Stage::classes);
  make(s, Group::g4d);
}

void setPseudodata(State& s, const std::vector<std::vector<double>>& times) {
  s.setting.n = lengths(times);
  s.data.t = table(times);
}

void setGrid(State& s, double from, double to, int ngrid) {
  s.parameters.ngrid = ngrid;
  make(s, Group::g4b);
  make(s, Group::g4e);
  for (int j = 0; j < ngrid; ++j) s.data.lx[static_cast<std::size_t>(j)] = from + (to - from) * j / (ngrid - 1);
}

}  // namespace morvek::testing
