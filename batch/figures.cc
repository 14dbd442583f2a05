#include "batch/figures.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "morvek/datafile.h"
#include "morvek/format.h"
#include "morvek/state.h"
#include "prep/output.h"

extern char** environ;

namespace batch {

namespace {

// The pictures' names as files: what they show, and the class.
std::string kindName(morvek::PlotType type) {
  switch (type) {
    case morvek::PlotType::data: return "data";
    case morvek::PlotType::times: return "times";
    case morvek::PlotType::background: return "background";
    case morvek::PlotType::window: return "cv-window";
    case morvek::PlotType::extremes: return "extremes";
    case morvek::PlotType::distribution: return "distribution";
    case morvek::PlotType::classes: return "classes";
    case morvek::PlotType::bandwidth: return "cv-bandwidth";
    case morvek::PlotType::rate: return "rate";
    case morvek::PlotType::band: return "band";
  }
  return "plot";
}

std::string terminal(Format format) {
  switch (format) {
    case Format::png: return "set terminal pngcairo size 1000,600";
    case Format::svg: return "set terminal svg size 1000,600";
    case Format::pdf: return "set terminal pdfcairo size 10in,6in";
    case Format::none: break;
  }
  return {};
}

std::string quoted(std::string_view name) {
  std::string text = "'";
  for (char c : name) text += c == '\'' ? std::string("''") : std::string(1, c);
  return text + "'";
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
}

// Runs gnuplot on `script` in `folder`; the empty string, or why it failed.
std::string runGnuplot(const std::filesystem::path& folder, const std::string& script) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "gnuplot.err", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::string program = "gnuplot";
  std::string file = script;
  char* argv[] = {program.data(), file.data(), nullptr};
  pid_t child = 0;
  const int started = posix_spawnp(&child, "gnuplot", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return "gnuplot could not be started";
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return "gnuplot could not be waited for";
  }
  const std::filesystem::path err = folder / "gnuplot.err";
  std::string complaint;
  if (auto text = morvek::readTextFile(err.string())) {
    std::istringstream lines(*text);
    std::getline(lines, complaint);
  }
  std::error_code ignored;
  std::filesystem::remove(err, ignored);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "gnuplot failed" + (complaint.empty() ? std::string() : ": " + complaint);
  }
  return {};
}

}  // namespace

std::string extremeRows(const morvek::State& s) {
  const morvek::Data& d = s.data;
  if (s.setting.z == morvek::kUnsetReal || !d.t3.held() || !d.t2.held()) return {};
  const auto t2 = d.t2.first(s.setting.n2);
  const auto t3 = d.t3.first(s.setting.n3);
  std::string rows;
  std::size_t i = 0;
  for (double t : t3) {
    while (i < t2.size() && t2[i] < t) ++i;
    if (i == t2.size()) break;
    if (t2[i] == t) rows += morvek::fmtShortest(t) + " " + morvek::fmtShortest(d.x2[i]) + "\n";
  }
  return rows;
}

std::string_view extension(Format format) {
  switch (format) {
    case Format::png: return "png";
    case Format::svg: return "svg";
    case Format::pdf: return "pdf";
    case Format::none: break;
  }
  return {};
}

void FigureRunner::drawing(morvek::PlotType type, std::size_t cls) {
  type_ = type;
  cls_ = morvek::perClass(type) ? static_cast<int>(cls) + 1 : 0;
}

void FigureRunner::run(const std::string&) {
  if (!keep_) return;
  std::string name;
  if (all_) {
    const std::size_t number = pictures_.size() + 1;
    name = (number < 10 ? "0" : "") + std::to_string(number) + "-" + kindName(type_);
  } else if (type_ == morvek::PlotType::background) {
    name = "series";
  } else if (type_ == morvek::PlotType::band) {
    name = "rate";
  } else {
    return;
  }
  if (cls_ > 0) name += "-" + std::to_string(cls_);
  Picture picture{name, {}, {}, {}};
  picture.data = morvek::readTextFile((s_.folder / morvek::kPlotDataFile).string()).value_or("");
  picture.commands = morvek::readTextFile((s_.folder / morvek::kPlotCommandFile).string()).value_or("");
  if (name == "series") picture.extremes = extremeRows(s_);
  // A picture drawn again (a new rate, a new threshold) replaces the old.
  auto same = std::find_if(pictures_.begin(), pictures_.end(), [&](const Picture& p) { return p.name == name; });
  if (same != pictures_.end()) {
    *same = std::move(picture);
  } else {
    pictures_.push_back(std::move(picture));
  }
}

std::string figureScript(std::string_view commands, Format format, std::string_view data, std::string_view output,
                         std::string_view extremes) {
  std::string script = terminal(format) + "\nset output " + quoted(output) + "\n";
  std::istringstream lines{std::string(commands)};
  for (std::string line; std::getline(lines, line);) {
    if (line == " pause mouse key") continue;
    replaceAll(line, std::string("'") + morvek::kPlotDataFile + "'", quoted(data));
    replaceAll(line, "title ' '", "notitle");
    script += line + "\n";
  }
  if (!extremes.empty()) {
    script.pop_back();
    script += ",\\\n" + quoted(extremes) + " u 1:2 title 'Extreme events' w points ls    7\n";
  }
  return script + "set output\n";
}

std::vector<std::string> drawFigures(const std::vector<Picture>& pictures, Format format,
                                     const std::filesystem::path& folder) {
  std::vector<std::string> problems;
  for (const Picture& p : pictures) {
    const std::string image = p.name + "." + std::string(extension(format));
    const std::string data = p.name + ".plot-data";
    const std::string script = p.name + ".gp";
    const std::string extremes = p.extremes.empty() ? std::string() : p.name + ".extremes";
    std::string problem;
    try {
      prep::writeWhole((folder / data).string(), p.data);
      if (!extremes.empty()) prep::writeWhole((folder / extremes).string(), p.extremes);
      prep::writeWhole((folder / script).string(), figureScript(p.commands, format, data, image, extremes));
      problem = runGnuplot(folder, script);
    } catch (const std::exception& error) {
      problem = error.what();
    }
    std::error_code ignored;
    std::filesystem::remove(folder / data, ignored);
    std::filesystem::remove(folder / script, ignored);
    if (!extremes.empty()) std::filesystem::remove(folder / extremes, ignored);
    if (problem.empty() && std::filesystem::file_size(folder / image, ignored) == 0) problem = "gnuplot drew nothing";
    if (!problem.empty()) {
      std::filesystem::remove(folder / image, ignored);
      problems.push_back(image + ": " + problem);
    }
  }
  return problems;
}

bool gnuplotInstalled() {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
  while (true) {
    const auto colon = rest.find(':');
    std::filesystem::path folder(std::string(rest.substr(0, colon)));
    if (folder.empty()) folder = ".";
    if (::access((folder / "gnuplot").c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    rest = rest.substr(colon + 1);
  }
}

}  // namespace batch
