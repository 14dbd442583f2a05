#include "tests/test_support.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <cstdlib>

#include <gtest/gtest.h>
#include <unistd.h>

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

void writeFile(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

std::string readFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void RecordingRunner::run(const std::string& commandLine) {
  commands.push_back(commandLine);
  commandFiles.push_back(readFile("2.tmp"));
  dataFiles.push_back(readFile("1.tmp"));
}

void expectGolden(const std::string& name, const std::string& text) {
  const std::string path = std::string(MORVEK_SOURCE_DIR) + "/tests/golden/" + name;
  if (std::getenv("MORVEK_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file) << "no golden file " << path;
  std::ostringstream golden;
  golden << file.rdbuf();
  EXPECT_EQ(text, golden.str()) << "differs from " << path;
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

void setClasses(State& s, std::vector<double> bounds, const std::vector<std::vector<double>>& times) {
  Setting& g = s.setting;
  g.l = static_cast<int>(times.size());
  g.c = held(bounds);
  std::vector<int> counts;
  for (const auto& row : times) counts.push_back(static_cast<int>(row.size()));
  g.n4 = held(counts);
  s.data.t4 = table(times);
  allocate4a(s);
  init4a(s);
  allocate4d(s);
  init4d(s);
  allocate5a(s);
  init5a(s);
}

void setPseudodata(State& s, const std::vector<std::vector<double>>& times) {
  std::vector<int> counts;
  for (const auto& row : times) counts.push_back(static_cast<int>(row.size()));
  s.setting.n = held(counts);
  s.data.t = table(times);
}

void setGrid(State& s, double from, double to, int ngrid) {
  s.parameters.ngrid = ngrid;
  allocate4b(s);
  init4b(s);
  allocate4e(s);
  init4e(s);
  for (int j = 0; j < ngrid; ++j) {
    s.data.lx[static_cast<std::size_t>(j)] = from + (to - from) * j / (ngrid - 1);
  }
}

std::string lines(std::initializer_list<std::string> items) {
  std::string text;
  for (const std::string& item : items) text += item + '\n';
  return text;
}


}  // namespace morvek::testing
