#include "batch/series.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <istream>
#include <ostream>
#include <streambuf>

#include "morvek/classes.h"
#include "morvek/datafile.h"
#include "morvek/driver.h"
#include "morvek/format.h"
#include "morvek/rate.h"
#include "morvek/startup.h"
#include "prep/output.h"

namespace batch {

namespace {

using morvek::kUnsetInt;
using morvek::kUnsetReal;
using morvek::State;

// An output stream buffer that keeps everything written in one string.
class StringSink : public std::streambuf {
 public:
  const std::string& text() const { return text_; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) text_.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text_.append(s, static_cast<std::size_t>(n));
    return n;
  }

 private:
  std::string text_;
};

// Takes the dialog's progress line, which it redraws after a carriage
// return, and passes on its text whenever it is flushed.
class ProgressSink : public std::streambuf {
 public:
  explicit ProgressSink(const Report& report) : report_(report) {}

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) text_.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  int sync() override {
    const auto cut = text_.rfind('\r');
    std::string line = cut == std::string::npos ? text_ : text_.substr(cut + 1);
    if (line.find_first_not_of(' ') == std::string::npos) line.clear();
    text_.clear();
    report_(line);
    return 0;
  }

 private:
  const Report& report_;
  std::string text_;
};

std::string real(double v) {
  if (v == kUnsetReal || !std::isfinite(v)) return {};
  return morvek::fmtShortest(v);
}
std::string integer(int v) { return v == kUnsetInt ? std::string() : std::to_string(v); }

std::vector<std::string> makeHeader() {
  std::vector<std::string> h{"name",  "type",   "points", "observed_left", "observed_right", "interval_left",
                             "interval_right", "k", "k_cv1", "k_cvm", "z", "extremes"};
  for (int c = 1; c <= morvek::kMaxClasses; ++c) {
    for (const char* field : {"lower", "upper", "events", "h", "h_cv", "u", "p", "nsim", "zero_risk"}) {
      h.push_back("c" + std::to_string(c) + "_" + field);
    }
  }
  h.insert(h.end(), {"advisories", "status"});
  return h;
}

// A row of the summary table, filled by field name.
class Row {
 public:
  Row() : fields_(summaryHeader().size()) {}
  void set(std::string_view field, std::string value) {
    const auto& h = summaryHeader();
    const auto at = std::find(h.begin(), h.end(), field);
    fields_[static_cast<std::size_t>(at - h.begin())] = std::move(value);
  }
  std::vector<std::string>& fields() { return fields_; }

 private:
  std::vector<std::string> fields_;
};

// The files and fields that come from the state at the end of a run.
struct Results {
  std::string cvWindow, cvBandwidth, rate;
  std::vector<double> zeroRisk;
};

Results capture(const State& s, Row& row) {
  const morvek::Setting& g = s.setting;
  const morvek::Data& d = s.data;
  const bool series = g.datatype == morvek::DataType::ordinary;
  row.set("points", integer(g.n1));
  row.set("observed_left", real(g.tobsl));
  row.set("observed_right", real(g.tobsr));
  if (d.t2.size() > 0) {
    row.set("interval_left", real(d.t2[0]));
    row.set("interval_right", real(d.t2[d.t2.size() - 1]));
  }
  if (series) {
    row.set("k", integer(g.k));
    row.set("k_cv1", integer(g.kcv1));
    row.set("k_cvm", integer(g.kcvm));
    row.set("z", real(g.z));
  }
  row.set("extremes", integer(g.n3));

  Results r;
  const auto classes = static_cast<std::size_t>(std::max(g.l, 0));
  for (std::size_t c = 0; c < classes; ++c) {
    const std::string p = "c" + std::to_string(c + 1) + "_";
    if (g.datatype != morvek::DataType::times) {
      row.set(p + "lower", real(g.c[c]));
      row.set(p + "upper", real(g.c[c + 1]));
    }
    row.set(p + "events", integer(g.n4[c]));
    row.set(p + "h", real(g.h[c]));
    row.set(p + "h_cv", real(g.hcvint[c]));
    row.set(p + "u", real(d.u[c]));
    row.set(p + "p", real(d.p[c]));
    row.set(p + "nsim", integer(g.nsim[c]));
    r.zeroRisk.push_back(morvek::zeroRiskShare(s, c));
    row.set(p + "zero_risk", real(r.zeroRisk.back()));
  }

  if (series && s.cvmeddata.cvj.held()) {
    r.cvWindow = "k,C_1,C_m\n";
    const auto& cm = s.cvmeddata;
    for (std::size_t i = 0; i < cm.cvj.size(); ++i) {
      r.cvWindow += csvLine({std::to_string(cm.cvj[i]), real(cm.cv1[i]), real(cm.cvm[i])});
    }
  }
  r.cvBandwidth = "class,h,C\n";
  const std::size_t points = std::min(static_cast<std::size_t>(std::max(s.parameters.nhsrch, 0)), d.cv.cols());
  for (std::size_t c = 0; c < classes && c < d.cv.rows(); ++c) {
    for (std::size_t j = 0; j < points; ++j) {
      r.cvBandwidth += csvLine({std::to_string(c + 1), real(d.cv.at(c, j)[0]), real(d.cv.at(c, j)[1])});
    }
  }
  std::vector<std::string> head{"t"};
  for (std::size_t c = 1; c <= classes; ++c) {
    for (const char* column : {"rate_", "lower_", "upper_"}) head.push_back(column + std::to_string(c));
  }
  r.rate = csvLine(head);
  const morvek::GridRows inside = morvek::observedRows(s);
  for (std::size_t j = inside.first; j < inside.end(); ++j) {
    std::vector<std::string> line{real(d.lx[j])};
    for (std::size_t c = 0; c < classes; ++c) {
      line.insert(line.end(), {real(d.ly.at(c, j)), real(d.lyl.at(c, j)), real(d.lyu.at(c, j))});
    }
    r.rate += csvLine(line);
  }
  return r;
}

std::string joined(const std::vector<std::string>& lines, std::string_view separator) {
  std::string text;
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    if (!text.empty()) text += separator;
    text += line;
  }
  return text;
}

// The stop lines of the dialog in one line: each line trimmed.
std::string reasonOf(const std::vector<std::string>& lines) {
  std::vector<std::string> trimmed;
  for (const std::string& line : lines) {
    const auto first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    trimmed.push_back(line.substr(first, line.find_last_not_of(' ') - first + 1));
  }
  const std::string text = joined(trimmed, " ");
  return text.empty() ? "the dialog stopped" : text;
}

// The advisories of a run, each in one line without its prefix.
std::vector<std::string> advisoriesOf(const std::string& advice) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < advice.size()) {
    const auto end = std::min(advice.find('\n', at), advice.size());
    const std::string_view line(advice.data() + at, end - at);
    if (line.substr(0, 8) == "morvek: ") {
      lines.emplace_back(line.substr(8));
    } else if (line.substr(0, 2) == "  " && !lines.empty()) {
      lines.back() += " " + std::string(line.substr(2));
    }
    at = end + 1;
  }
  return lines;
}

// The files a series folder may hold; anything else was not written here.
bool ownFile(const std::filesystem::path& file) {
  static const std::vector<std::string> kNames{
      kRowFile,      "morvek-1.dat", "morvek-2.dat",     "morvek-3.dat", "answers.txt",
      "session.txt", "morvek.cfg",   "cv-window.csv",    "cv-bandwidth.csv", "rate.csv"};
  const std::string name = file.filename().string();
  if (std::find(kNames.begin(), kNames.end(), name) != kNames.end()) return true;
  const std::string ext = file.extension().string();
  return ext == ".png" || ext == ".svg" || ext == ".pdf";
}

// Whether the folder is a series folder of an earlier run: it holds a row
// and nothing but the files of a series.
bool earlierRun(const std::filesystem::path& folder) {
  std::error_code error;
  if (std::filesystem::is_symlink(folder, error) || !std::filesystem::is_directory(folder, error)) return false;
  if (!std::filesystem::is_regular_file(folder / kRowFile, error)) return false;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (!entry.is_regular_file(error) || entry.is_symlink(error) || !ownFile(entry.path())) return false;
  }
  return !error;
}

// A new folder beside `target`, named after it and unique among the
// processes of every machine that writes into the same folder. It gets the
// permissions of any new folder, unlike one of mkdtemp.
std::filesystem::path freshFolder(const std::filesystem::path& target, std::string_view what) {
  static std::atomic<unsigned> counter{0};
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::filesystem::path folder =
        target.parent_path() / ("." + target.filename().string() + "." + std::string(what) + "-" + host + "-" +
                                std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) return folder;
    if (error) throw std::runtime_error(target.parent_path().string() + ": cannot create a folder in it: " + error.message());
  }
  throw std::runtime_error(target.parent_path().string() + ": cannot create a folder in it");
}

class Staging {
 public:
  Staging(const std::filesystem::path& out, const std::string& name)
      : target_(out / name), folder_(freshFolder(target_, "part")) {}
  ~Staging() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  const std::filesystem::path& folder() const { return folder_; }

  // Puts the folder in place of the series folder, which must be absent
  // or an earlier run's.
  void commit() {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(target_, error))) {
      if (!earlierRun(target_)) {
        throw std::runtime_error(target_.string() +
                                 " holds files that morvek-batch did not write; move it away or choose another -o");
      }
      const std::filesystem::path old = freshFolder(target_, "old");
      std::filesystem::rename(target_, std::filesystem::path(old) / "series", error);
      if (error) throw std::runtime_error(target_.string() + ": cannot be replaced: " + error.message());
      std::filesystem::rename(folder_, target_, error);
      if (error) {
        std::error_code ignored;
        std::filesystem::rename(std::filesystem::path(old) / "series", target_, ignored);
        std::filesystem::remove(old, ignored);
        throw std::runtime_error(target_.string() + ": cannot be replaced: " + error.message());
      }
      std::filesystem::remove_all(old, error);
    } else {
      std::filesystem::rename(folder_, target_, error);
      if (error) throw std::runtime_error(target_.string() + ": cannot be written: " + error.message());
    }
    folder_.clear();
  }

 private:
  std::filesystem::path target_, folder_;
};

std::string failedRow(Row& row, const std::string& reason) {
  row.set("status", reason);
  return csvLine(summaryHeader()) + csvLine(row.fields());
}

}  // namespace

const std::vector<std::string>& summaryHeader() {
  static const std::vector<std::string> header = makeHeader();
  return header;
}

std::string csvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    const std::string& f = fields[i];
    if (f.find_first_of(",\"\r\n") == std::string::npos) {
      line += f;
      continue;
    }
    line += '"';
    for (char c : f) line += c == '"' ? std::string("\"\"") : std::string(1, c);
    line += '"';
  }
  return line + "\n";
}

Outcome runSeries(const Job& job, const Shared& shared, const Report& report) {
  Row row;
  row.set("name", job.name);
  row.set("type", typeKey(job.decisions.type));
  Outcome outcome;
  auto fail = [&](const std::string& reason) {
    Staging staging(shared.out, job.name);
    prep::writeWhole((staging.folder() / kRowFile).string(), failedRow(row, reason));
    staging.commit();
    outcome.row = row.fields();
    outcome.ok = false;
    return outcome;
  };

  const std::string file = job.file.filename().string();
  if (file.size() > morvek::kFileNameLength || file.find_first_not_of(' ') != 0 || file.back() == ' ') {
    return fail("the dialog takes a data file name of at most " + std::to_string(morvek::kFileNameLength) +
                " characters without blanks at its ends: " + file);
  }
  const std::filesystem::path dataFolder = job.file.parent_path();
  if (const std::string problem = morvek::dataFileProblem(file, dataFolder); !problem.empty()) return fail(problem);

  Staging staging(shared.out, job.name);
  prep::writeWhole((staging.folder() / "morvek.cfg").string(), shared.config);

  State s;
  s.folder = staging.folder();
  s.dataFolder = dataFolder;
  s.threads = shared.threads;
  StringSink output, advice;
  std::ostream out(&output), adviceStream(&advice);
  Answerer answerer(job.decisions, file, s, output.text(), advice.text());
  AnswerBuffer answers(answerer);
  std::istream in(&answers);
  const Report quiet = [](const std::string&) {};
  ProgressSink progressSink(report ? report : quiet);
  std::ostream progress(&progressSink);
  morvek::Console console(in, out, &adviceStream, report ? &progress : nullptr);
  FigureRunner runner(s, shared.figures != Format::none, shared.allFigures);

  Results results;
  std::vector<std::string> stop;
  int status = 1;
  std::string refused;
  try {
    status = morvek::runMorvek(s, console, runner, [&](const State& end) { results = capture(end, row); }, &stop);
  } catch (const Refused& r) {
    refused = r.reason;
  }
  if (!refused.empty()) return fail(refused);
  if (status != 0) {
    // An advisory on the way to the stop says more than its closing lines.
    std::vector<std::string> why = advisoriesOf(std::string(answerer.adviceSinceAnswer()));
    why.push_back(reasonOf(stop));
    return fail(joined(why, "; "));
  }

  std::vector<std::string> notes = advisoriesOf(advice.text());
  if (answerer.notes().lowVariability) notes.emplace_back("low variability at some points");
  for (std::size_t c = 0; c < results.zeroRisk.size(); ++c) {
    if (results.zeroRisk[c] > 0) {
      notes.push_back("class " + std::to_string(c + 1) + ": zero risk at " + real(results.zeroRisk[c]) +
                      " of the grid points");
    }
  }

  const std::filesystem::path& folder = staging.folder();
  std::error_code ignored;
  std::filesystem::remove(folder / morvek::kPlotDataFile, ignored);
  std::filesystem::remove(folder / morvek::kPlotCommandFile, ignored);
  if (shared.figures != Format::none) {
    for (const std::string& problem : drawFigures(runner.pictures(), shared.figures, folder)) notes.push_back(problem);
  }
  row.set("advisories", joined(notes, "; "));
  row.set("status", "ok");

  std::string answerText;
  for (const std::string& line : answerer.given()) answerText += line + "\n";
  const auto write = [&](const char* name, const std::string& text) {
    prep::writeWhole((folder / name).string(), text);
  };
  write("answers.txt", answerText);
  write("session.txt", output.text());
  if (!results.cvWindow.empty()) write("cv-window.csv", results.cvWindow);
  write("cv-bandwidth.csv", results.cvBandwidth);
  write("rate.csv", results.rate);
  write(kRowFile, csvLine(summaryHeader()) + csvLine(row.fields()));
  staging.commit();
  outcome.row = row.fields();
  outcome.ok = true;
  return outcome;
}

namespace {

// Splits one CSV line as csvLine writes it; a quoted field may hold line
// ends, so the whole text is given and `at` moves past the line.
std::vector<std::string> readCsvLine(std::string_view text, std::size_t& at) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (quoted) {
      if (c == '"' && at + 1 < text.size() && text[at + 1] == '"') {
        fields.back() += '"';
        ++at;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == '\n') {
      ++at;
      break;
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace

std::vector<std::vector<std::string>> collectRows(const std::filesystem::path& out, std::vector<std::string>* missing) {
  std::vector<std::filesystem::path> folders;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(out, error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.front() == '.' || !entry.is_directory(error)) continue;
    folders.push_back(entry.path());
  }
  if (error) throw std::runtime_error(out.string() + ": cannot be read: " + error.message());
  std::sort(folders.begin(), folders.end());
  std::vector<std::vector<std::string>> rows;
  for (const auto& folder : folders) {
    const auto text = morvek::readTextFile((folder / kRowFile).string());
    std::size_t at = 0;
    if (!text || readCsvLine(*text, at) != summaryHeader()) {
      if (missing != nullptr) missing->push_back(folder.filename().string());
      continue;
    }
    auto fields = readCsvLine(*text, at);
    if (fields.size() != summaryHeader().size()) {
      if (missing != nullptr) missing->push_back(folder.filename().string());
      continue;
    }
    rows.push_back(std::move(fields));
  }
  return rows;
}

void writeSummary(const std::filesystem::path& out, const std::vector<std::vector<std::string>>& rows) {
  std::string text = csvLine(summaryHeader());
  for (const auto& row : rows) text += csvLine(row);
  prep::writeWhole((out / "summary.csv").string(), text);
}

}  // namespace batch
