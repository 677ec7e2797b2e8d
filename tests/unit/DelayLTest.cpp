#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <vector>

#include "fx/DelayL.h"

// Reference line: every input kept in a plain array, the fill value 0.001
// before the first. A delay d = D + g reads (1 - g) x[n - D] + g x[n - D - 1].
struct ReferenceLine {
  std::vector<double> x;
  double at(long n) const { return n < 0 ? 0.001 : x[static_cast<size_t>(n)]; }
  double tick(double in, double d) {
    x.push_back(in);
    const long n = static_cast<long>(x.size()) - 1;
    const long whole = static_cast<long>(std::floor(d));
    const double g = d - static_cast<double>(whole);
    return (1.0 - g) * at(n - whole) + g * at(n - whole - 1);
  }
};

// Length 11: every delay below is set at every write position in turn (a new
// one every third tick), so reads cross both ends of the buffer, whole and
// fractional, and the read position wraps between the settings too.
TEST(DelayLWrap, ReadsAcrossTheBufferEndsMatchAPlainArray) {
  struct Setting {
    float asked;
    float reported;
    double read;  // where the line reads: a negative delay reads the newest sample
  };
  const Setting settings[] = {{0.0f, 0.0f, 0.0},   {0.25f, 0.25f, 0.25}, {1.0f, 1.0f, 1.0},
                              {2.5f, 2.5f, 2.5},   {4.75f, 4.75f, 4.75}, {9.5f, 9.5f, 9.5},
                              {10.0f, 10.0f, 10.0}, {-3.0f, 0.5f, 0.0},  {50.0f, 10.0f, 10.0},
                              {NAN, 0.5f, 0.0}};
  const int count = static_cast<int>(std::size(settings));
  DelayL line(3.0f, 10);
  ASSERT_EQ(line.getLength(), 11);
  ReferenceLine model;
  double d = 3.0;
  for (int n = 0; n < 3 * 11 * count + 40; ++n) {
    if (n % 3 == 0) {
      const Setting& s = settings[(n / 3) % count];
      line.setDelay(s.asked);
      d = s.read;
      ASSERT_EQ(line.getDelay(), s.reported);
    }
    const double in = 0.5 * std::sin(0.7 * n) + 0.1 * (n % 5);
    const double want = model.tick(in, d);
    ASSERT_NEAR(line.tickmod(static_cast<float>(in)), want, 1e-5) << "tick " << n << ", delay " << d;
  }
}
