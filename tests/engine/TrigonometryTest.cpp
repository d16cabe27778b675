// The show's sine and cosine against 256-bit references (MPFR): below one unit in the last place
// over the arguments the waves use, near multiples of pi / 2 and out to the largest doubles.
#include "engine/Trigonometry.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// One MPFR scratch set for the whole suite.
class Reference {
  public:
    Reference() { mpfr_inits2(256, x_, exact_, got_, nullptr); }
    ~Reference() { mpfr_clears(x_, exact_, got_, nullptr); }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    // |value - f(x)| in units of the last place of the exact f(x) (as a double).
    double ulpError(int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x, double value) {
        mpfr_set_d(x_, x, MPFR_RNDN);
        f(exact_, x_, MPFR_RNDN);
        mpfr_set_d(got_, value, MPFR_RNDN);
        mpfr_sub(got_, got_, exact_, MPFR_RNDN);
        mpfr_abs(got_, got_, MPFR_RNDN);
        // exact = m 2^e with 1/2 <= m < 1: a double's last place there weighs 2^(e - 53), at
        // least the smallest subnormal's 2^-1074 (also for an exact zero, sin 0).
        const long exponent = mpfr_zero_p(exact_) ? -1074 + 53 : mpfr_get_exp(exact_);
        const long ulpExponent = std::max<long>(exponent - 53, -1074);
        mpfr_mul_2si(got_, got_, -ulpExponent, MPFR_RNDN);
        return mpfr_get_d(got_, MPFR_RNDN);
    }

  private:
    mpfr_t x_, exact_, got_;
};

struct Worst {
    double error = 0;
    double argument = 0;
    int correctlyRounded = 0;
    int count = 0;
};

// The largest error of trig::sin and trig::cos over the arguments.
void measure(const std::vector<double>& arguments, Worst& sine, Worst& cosine) {
    Reference reference;
    for (const double x : arguments) {
        const double es = reference.ulpError(mpfr_sin, x, trig::sin(x));
        const double ec = reference.ulpError(mpfr_cos, x, trig::cos(x));
        for (auto [e, w] : {std::pair<double, Worst*>{es, &sine}, {ec, &cosine}}) {
            if (e > w->error) {
                w->error = e;
                w->argument = x;
            }
            w->correctlyRounded += e <= 0.5 ? 1 : 0;
            ++w->count;
        }
    }
}

void expectBelowOneUlp(const std::vector<double>& arguments, const char* range) {
    Worst sine, cosine;
    measure(arguments, sine, cosine);
    EXPECT_LT(sine.error, 1.0) << "sine error over " << range << ", worst at " << sine.argument;
    EXPECT_LT(cosine.error, 1.0) << "cosine error over " << range << ", worst at "
                                 << cosine.argument;
    // Faithful is the promise; about 97 % of the results are also the correctly rounded ones.
    EXPECT_GT(sine.correctlyRounded, sine.count * 0.95)
        << "sine results correctly rounded over " << range;
    EXPECT_GT(cosine.correctlyRounded, cosine.count * 0.95)
        << "cosine results correctly rounded over " << range;
}

std::vector<double> uniform(double low, double high, int count, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> pick(low, high);
    std::vector<double> out(count);
    for (double& x : out)
        x = pick(random);
    return out;
}

TEST(Trigonometry, ShowRangeBelowOneUlp) {
    // The waves' angles: x / w 2 pi + phase, phases below a hundred radians over the show.
    std::vector<double> arguments = uniform(0.0, 128.0, 300000, 1);
    for (int i = 0; i <= 128 * 1024; ++i)
        arguments.push_back(i / 1024.0);
    // The exact angles of the row and column waves at the start of the show.
    for (int y = 0; y < 480; ++y)
        arguments.push_back(y / 480.0 * 6.283184);
    for (int x = 0; x < 640; ++x)
        arguments.push_back(x / 640.0 * 18.849552);
    expectBelowOneUlp(arguments, "[0, 128]");
}

TEST(Trigonometry, NegativeAndMediumArgumentsBelowOneUlp) {
    expectBelowOneUlp(uniform(-128.0, 0.0, 100000, 2), "[-128, 0]");
    expectBelowOneUlp(uniform(-1.6e6, 1.6e6, 100000, 3), "[-1.6e6, 1.6e6]");
}

TEST(Trigonometry, LargeArgumentsBelowOneUlp) {
    std::mt19937_64 random(4);
    std::vector<double> arguments;
    while (arguments.size() < 100000) {
        const uint64_t bits = random() & 0x7fffffffffffffff;
        double x;
        std::memcpy(&x, &bits, sizeof x);
        if (std::isfinite(x) && x > 1.7e6) arguments.push_back(arguments.size() % 2 ? x : -x);
    }
    arguments.push_back(DBL_MAX);
    arguments.push_back(-DBL_MAX);
    arguments.push_back(0x1.6ac5b262ca1ffp+849); // the double closest to a multiple of pi / 2
    expectBelowOneUlp(arguments, "|x| > 1.7e6");
}

TEST(Trigonometry, NearMultiplesOfHalfPiBelowOneUlp) {
    // The results there are tiny and every bit comes from the reduction.
    std::vector<double> arguments;
    for (int k = -50000; k <= 50000; ++k) {
        const double x = k * 1.5707963267948966;
        arguments.push_back(x);
        arguments.push_back(std::nextafter(x, 1e9));
        arguments.push_back(std::nextafter(x, -1e9));
    }
    for (int k = 1; k < 1 << 30; k = k * 3 + 1)
        arguments.push_back(k * 1.5707963267948966);
    expectBelowOneUlp(arguments, "multiples of pi / 2");
}

TEST(Trigonometry, SmallArgumentsAndSpecialValues) {
    EXPECT_EQ(trig::sin(0.0), 0.0) << "sin 0";
    EXPECT_TRUE(std::signbit(trig::sin(-0.0))) << "sin -0 keeps the sign";
    EXPECT_EQ(trig::cos(0.0), 1.0) << "cos 0";
    EXPECT_EQ(trig::cos(-0.0), 1.0) << "cos -0";
    EXPECT_EQ(trig::sin(1e-10), 1e-10) << "sin of a tiny argument is the argument";
    EXPECT_EQ(trig::cos(1e-10), 1.0) << "cos of a tiny argument is 1";
    EXPECT_EQ(trig::sin(DBL_TRUE_MIN), DBL_TRUE_MIN) << "sin of the smallest subnormal";
    const double infinity = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double x : {infinity, -infinity, nan}) {
        EXPECT_TRUE(std::isnan(trig::sin(x))) << "sin " << x << " is NaN";
        EXPECT_TRUE(std::isnan(trig::cos(x))) << "cos " << x << " is NaN";
    }
}

TEST(Trigonometry, ReductionLandsWithinAQuarterTurn) {
    Reference reference;
    for (const double x : uniform(-1e300, 1e300, 20000, 5)) {
        double y[2];
        const int n = trig::reducePiOver2(x, y);
        EXPECT_LE(std::fabs(y[0]), 0.7854) << "reduced " << x << " lies within pi / 4";
        EXPECT_LE(std::fabs(y[1]), std::fabs(y[0]) * 0x1p-52)
            << "tail of " << x << " is below y0's last place";
        // sin x is +-sin y or +-cos y by the quadrant n.
        const double s = (n & 1) ? std::cos(y[0]) : std::sin(y[0]);
        const double expected = (n & 2) ? -s : s;
        EXPECT_LT(reference.ulpError(mpfr_sin, x, expected), 2.0) << "quadrant of " << x;
    }
}

} // namespace
