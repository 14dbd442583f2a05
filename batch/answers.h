// The answers of a dialog without a person: the decisions of a session,
// turned into the answer line of each question the dialog asks, in the
// order it asks them.
//
// The dialog is run as it is. Each time it waits for a line, the question
// is read off the end of what it has written so far, so that a pause that
// only some series make (low variability, zero risk) gets its Enter and
// never takes the next answer. Values the dialog finds itself (k_cv, h_cv)
// are read from its state when their question comes.
#pragma once

#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "morvek/state.h"

namespace batch {

// The decisions of one session; values are kept as typed, since the dialog
// reads and checks them itself.
struct Decisions {
  morvek::DataType type = morvek::DataType::ordinary;
  std::optional<std::pair<std::string, std::string>> observed;  // x, t: default the data's ends
  std::optional<std::pair<std::string, std::string>> interval;  // default: all data
  std::string window = "cv1";                                   // K, "cv1" or "cvm"
  std::string z;                                                // required for o
  int classes = 1;
  std::vector<std::string> bounds;                 // inner class bounds per hand; empty: evenly spaced
  std::vector<std::string> bandwidth{"cv"};        // one for all classes, or one per class
  std::vector<std::string> nsim{"1000"};           // the same
  std::string seed = "-1";
};

// The data type's key at the dialog's menu, as --type takes it.
std::string typeKey(morvek::DataType type);

// A value the dialog refused, or a question it should not have asked; ends
// the series with `reason`. It is no std::exception, so that it passes the
// dialog's own handling of unexpected errors on its way out.
struct Refused {
  std::string reason;
};

// What the dialog pointed out on the way, for the summary table.
struct Notes {
  bool lowVariability = false;
};

class Answerer {
 public:
  // `output` and `advice` are the dialog's standard output and advisories
  // so far; `file` is the data file's name as the dialog is to be given it.
  Answerer(Decisions decisions, std::string file, const morvek::State& state, const std::string& output,
           const std::string& advice);

  // The answer to the question that ends `output`. Throws Refused.
  std::string next();

  // Every answer given, one line each.
  const std::vector<std::string>& given() const { return given_; }
  const Notes& notes() const { return notes_; }
  // The advisories written since the last answer that was not a pause.
  std::string_view adviceSinceAnswer() const { return std::string_view(advice_).substr(adviceAtAnswer_); }

 private:
  std::string answer(std::string_view kind, const std::vector<std::string_view>& tail);
  std::string perClass(const std::vector<std::string>& values, int cls) const;
  [[noreturn]] void refuse(std::string_view kind) const;

  Decisions d_;
  std::string file_;
  const morvek::State& s_;
  const std::string& output_;
  const std::string& advice_;
  std::vector<std::string> given_;
  Notes notes_;

  // Where the dialog stands, as far as the answers took it.
  std::string lastKind_, lastValue_;
  std::size_t outputAtAnswer_ = 0, adviceAtAnswer_ = 0;
  bool intervalDone_ = false, zDone_ = false, classesDone_ = false;
  int cls_ = 0;            // the class the current request is for
  int estimated_ = 0;      // classes with a rate
  int bootstrapped_ = 0;   // classes with a band
};

// An input stream buffer that asks the answerer for one line whenever the
// dialog reads past the last one.
class AnswerBuffer : public std::streambuf {
 public:
  explicit AnswerBuffer(Answerer& answerer) : answerer_(answerer) {}

 protected:
  int_type underflow() override;

 private:
  Answerer& answerer_;
  std::string line_;
};

}  // namespace batch
