// Figures over the times of single keystrokes.
#pragma once

#include <vector>

struct typing_figures {
  double median_us = 0;
  double mean_us = 0;
};

// The median (the mean of the middle two for an even count) and the mean of
// the times; zeros for none.
typing_figures figures_of(std::vector<double> keystroke_us);
