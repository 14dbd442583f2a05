#include "batch/answers.h"

#include <algorithm>

#include "morvek/format.h"

namespace batch {

namespace {

using Lines = std::vector<std::string_view>;

// The last `count` lines of `text`, which ends with a line end.
Lines lastLines(std::string_view text, std::size_t count) {
  Lines lines;
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  while (lines.size() < count) {
    const auto cut = text.rfind('\n');
    lines.push_back(cut == std::string_view::npos ? text : text.substr(cut + 1));
    if (cut == std::string_view::npos) break;
    text = text.substr(0, cut);
  }
  std::reverse(lines.begin(), lines.end());
  return lines;
}

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
bool endsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}
bool contains(std::string_view s, std::string_view p) { return s.find(p) != std::string_view::npos; }

// A menu line ends with its key in brackets: "Continue    [c]".
bool isMenuEntry(std::string_view line) {
  return line.size() >= 3 && line.back() == ']' && line[line.size() - 3] == '[';
}

// The heading of the menu that ends the tail: the nearest line above its
// entries that has text.
std::string_view menuHeading(const Lines& tail) {
  auto line = tail.rbegin();
  while (line != tail.rend() && isMenuEntry(*line)) ++line;
  while (line != tail.rend() && line->empty()) ++line;
  return line == tail.rend() ? std::string_view{} : *line;
}

// Names the question that ends the dialog's output so far.
std::string kindOf(const Lines& tail) {
  const std::string_view last = tail.back();
  if (last == "Continue with Enter, exit with CTRL-C") return "banner";
  if (last == "Continue with Enter") return "pause";
  if (last == "Continue with Enter to inspect cross-validation functions") return "window pause";
  if (endsWith(last, "[path + filename]")) return "file";
  if (startsWith(last, "Observation time interval -  left bound")) return "observed left";
  if (startsWith(last, "Observation time interval - right bound")) return "observed right";
  if (last == "[left boundary, right boundary]: ") return "interval";
  if (startsWith(last, "k:") && contains(last, "<= [INT] <=")) return "k";
  if (last == "[z]:") return "z";
  if (startsWith(last, "l:") && contains(last, "<= [INT] <=")) return "classes";
  if (last == "[c(1)] :" || last == "[c(1), c(2)] :") return "bounds";
  if (startsWith(last, "Class number [ <=")) return "class";
  if (contains(last, "<= [h] <=")) return "h";
  if (contains(last, "<= [nsim] <=")) return "nsim";
  if (last == "Random number generator seed [negative integer]:") return "seed";
  if (!isMenuEntry(last)) return {};
  if (contains(last, "extreme times")) return "type";
  if (startsWith(last, "         per hand")) return "spacing";
  const std::string_view heading = menuHeading(tail);
  if (heading == "Threshold setting:") return "threshold";
  for (const char* part : {"Part 1:", "Part 2:", "Part 3:", "Part 4:", "Part 5:"}) {
    if (startsWith(heading, part)) return std::string("part") + part[5];
  }
  return {};
}

// The option whose value answers a question, for the reason of a refusal.
std::string_view optionOf(std::string_view kind) {
  static constexpr std::pair<std::string_view, std::string_view> kOptions[] = {
      {"type", "--type"},       {"file", "the data file"}, {"observed left", "--observed"},
      {"observed right", "--observed"}, {"interval", "--interval"}, {"k", "--window"},
      {"z", "--z"},             {"classes", "--classes"},  {"bounds", "--bounds"},
      {"h", "--bandwidth"},     {"nsim", "--nsim"},        {"seed", "--seed"}};
  for (const auto& [k, option] : kOptions) {
    if (k == kind) return option;
  }
  return {};
}

std::string shortest(double value) { return morvek::fmtShortest(value); }

}  // namespace

std::string typeKey(morvek::DataType type) {
  switch (type) {
    case morvek::DataType::extreme: return "x";
    case morvek::DataType::times: return "t";
    case morvek::DataType::ordinary: break;
  }
  return "o";
}

Answerer::Answerer(Decisions decisions, std::string file, const morvek::State& state, const std::string& output,
                   const std::string& advice)
    : d_(std::move(decisions)), file_(std::move(file)), s_(state), output_(output), advice_(advice) {}

std::string Answerer::perClass(const std::vector<std::string>& values, int cls) const {
  return values.size() == 1 ? values.front() : values[static_cast<std::size_t>(cls - 1)];
}

void Answerer::refuse(std::string_view kind) const {
  // The dialog says why on its advisory stream, or in lines of its own
  // between the answer and the question asked again.
  std::string why;
  const auto add = [&](std::string_view text) {
    if (text.empty()) return;
    if (!why.empty()) why += why.back() == ':' ? " " : "; ";
    why += text;
  };
  const std::string_view advice = std::string_view(advice_).substr(adviceAtAnswer_);
  for (std::string_view line : lastLines(advice, 1000)) {
    if (startsWith(line, "morvek: ")) add(line.substr(8));
  }
  if (why.empty()) {
    const std::string_view before = std::string_view(output_).substr(0, outputAtAnswer_);
    const Lines asked = lastLines(before, 40);
    for (std::string_view line : lastLines(std::string_view(output_).substr(outputAtAnswer_), 1000)) {
      if (std::find(asked.begin(), asked.end(), line) == asked.end()) add(line);
    }
  }
  if (why.empty()) why = "refused";
  const std::string_view option = optionOf(kind);
  throw Refused{option.empty() ? why : std::string(option) + " " + lastValue_ + ": " + why};
}

std::string Answerer::next() {
  // Every question is answered at most a few times per class; a dialog
  // that keeps asking has lost its way.
  if (given_.size() > 1000) throw Refused{"the dialog did not come to its end"};
  const Lines tail = lastLines(output_, 40);
  const std::string kind = kindOf(tail);
  if (kind.empty()) {
    throw Refused{"the dialog asked what morvek-batch cannot answer: \"" + std::string(tail.back()) + "\""};
  }
  const bool pause = kind == "pause" || kind == "window pause" || kind == "banner";
  // A question asked twice in a row was not answered: its value was refused.
  if (!pause && kind == lastKind_) refuse(kind);
  std::string line = answer(kind, tail);
  given_.push_back(line);
  // A pause between a refused value and its question asked again (the
  // window's) does not count as an answer.
  if (!pause) {
    lastKind_ = kind;
    lastValue_ = line;
    outputAtAnswer_ = output_.size();
    adviceAtAnswer_ = advice_.size();
  }
  return line;
}

std::string Answerer::answer(std::string_view kind, const Lines& tail) {
  const morvek::Setting& g = s_.setting;
  const int classes = g.l > 0 ? g.l : 1;
  if (kind == "banner" || kind == "window pause") return {};
  if (kind == "pause") {
    if (std::find(tail.begin(), tail.end(), "This may cause problems with plotting and calculation") != tail.end()) {
      notes_.lowVariability = true;
    }
    return {};
  }
  if (kind == "type") return typeKey(d_.type);
  if (kind == "file") return file_;
  if (kind == "observed left") return d_.observed ? d_.observed->first : shortest(s_.data.t1[0]);
  if (kind == "observed right") {
    return d_.observed ? d_.observed->second : shortest(s_.data.t1[s_.data.t1.size() - 1]);
  }
  if (kind == "part1") return d_.interval && !intervalDone_ ? "n" : "c";
  if (kind == "interval") {
    intervalDone_ = true;
    return d_.interval->first + " " + d_.interval->second;
  }
  if (kind == "k") {
    if (d_.window == "cv1") return std::to_string(g.kcv1);
    if (d_.window == "cvm") return std::to_string(g.kcvm);
    return d_.window;
  }
  if (kind == "part2") return zDone_ ? "c" : "t";
  if (kind == "threshold") return "s";
  if (kind == "z") {
    zDone_ = true;
    return d_.z;
  }
  if (kind == "part3") return classesDone_ ? "c" : "m";
  if (kind == "classes") {
    classesDone_ = true;
    return std::to_string(d_.classes);
  }
  if (kind == "spacing") return d_.bounds.empty() ? "e" : "h";
  if (kind == "bounds") {
    std::string line;
    for (const std::string& b : d_.bounds) line += (line.empty() ? "" : " ") + b;
    return line;
  }
  if (kind == "part4") {
    if (estimated_ >= classes) return "c";
    cls_ = estimated_ + 1;
    return "k";
  }
  if (kind == "class") return std::to_string(cls_);
  if (kind == "h") {
    estimated_ = cls_;
    const std::string h = perClass(d_.bandwidth, cls_);
    return h == "cv" ? shortest(g.hcvint[static_cast<std::size_t>(cls_ - 1)]) : h;
  }
  if (kind == "part5") {
    if (bootstrapped_ >= classes) return "x";
    cls_ = bootstrapped_ + 1;
    return "b";
  }
  if (kind == "nsim") {
    bootstrapped_ = cls_;
    return perClass(d_.nsim, cls_);
  }
  if (kind == "seed") return d_.seed;
  throw Refused{"the dialog asked what morvek-batch cannot answer: \"" + std::string(tail.back()) + "\""};
}

AnswerBuffer::int_type AnswerBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  line_ = answerer_.next();
  line_ += '\n';
  setg(line_.data(), line_.data(), line_.data() + line_.size());
  return traits_type::to_int_type(*gptr());
}

}  // namespace batch
