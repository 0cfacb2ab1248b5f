#include "typing_figures.h"

#include <algorithm>
#include <numeric>

typing_figures figures_of(std::vector<double> keystroke_us) {
  typing_figures figures;
  const size_t n = keystroke_us.size();
  if (n == 0) return figures;
  std::sort(keystroke_us.begin(), keystroke_us.end());
  figures.median_us =
      n % 2 == 1 ? keystroke_us[n / 2] : (keystroke_us[n / 2 - 1] + keystroke_us[n / 2]) / 2;
  figures.mean_us = std::accumulate(keystroke_us.begin(), keystroke_us.end(), 0.0) / n;
  return figures;
}
