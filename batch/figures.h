// Figures from the dialog's own pictures: the plot runner of a run without
// a dialog keeps the data and commands of each picture it is asked to
// draw, and afterwards gnuplot turns them into image files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "morvek/plot.h"

namespace batch {

enum class Format { none, png, svg, pdf };

// "png" for Format::png, and so on; empty for none.
std::string_view extension(Format format);

struct Picture {
  std::string name;      // the figure's file name without its extension
  std::string data;      // the plot data file
  std::string commands;  // the plot command file
  std::string extremes;  // rows "t x" of the extremes drawn over the series; empty for none
};

class FigureRunner : public morvek::PlotRunner {
 public:
  // `all`: every picture the dialog draws, numbered in order; otherwise
  // the last picture of the series with its background and threshold, and
  // the last rate with its band of every class.
  FigureRunner(const morvek::State& s, bool keep, bool all) : s_(s), keep_(keep), all_(all) {}

  void drawing(morvek::PlotType type, std::size_t cls) override;
  void run(const std::string& commandLine) override;

  const std::vector<Picture>& pictures() const { return pictures_; }

 private:
  const morvek::State& s_;
  bool keep_, all_;
  morvek::PlotType type_ = morvek::PlotType::data;
  int cls_ = 0;  // the class number shown in the name; 0 for none
  std::vector<Picture> pictures_;
};

// The command file that draws a picture into `output` from `data`: the
// dialog's commands without their pause, and without the legend entry of
// the band's second bound, which has no words. `extremes`, where given,
// names a file of extremes drawn over the picture as points.
std::string figureScript(std::string_view commands, Format format, std::string_view data, std::string_view output,
                         std::string_view extremes = {});

// Draws every picture into `folder` as NAME.EXT. Returns the problems, one
// line each (a gnuplot that is missing or fails); the command and data
// files are removed.
std::vector<std::string> drawFigures(const std::vector<Picture>& pictures, Format format,
                                     const std::filesystem::path& folder);

// The rows "t x" of the extremes at their values in the series, for the
// series figure; empty before a threshold is set. The times of the
// extremes are times of the extracted series, and both increase.
std::string extremeRows(const morvek::State& s);

// Whether gnuplot is on the search path.
bool gnuplotInstalled();

}  // namespace batch
