// Formatted text output: descriptor tables, format control, the labelled-value line and
// free-form lines. Expected texts are derived by hand from the descriptor rules; where a value
// is near a rounding boundary, its exact binary expansion is quoted in a comment.
#include "io/fortran_format.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace tessel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Case {
  const char* format;
  std::vector<FormatValue> values;
  std::string expected;  // the whole output, line ends included
};

void check_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(Format(c.format).write(c.values), c.expected);
  }
}

std::vector<FormatValue> vals(std::initializer_list<FormatValue> v) { return v; }

TEST(FormatDescriptors, LiteralsAndText) {
  const std::string long_title(80, 't');
  static const std::string title = long_title;
  check_cases({
      {"('It''s')", {}, "It's\n"},
      {"(\"a\"\"b\")", {}, "a\"b\n"},
      {"('abc', 3X, 'd')", {}, "abc   d\n"},
      {"(A5)", vals({"ab"}), "   ab\n"},
      {"(A3)", vals({"January"}), "Jan\n"},
      {"(A,'|')", vals({"ab  "}), "ab  |\n"},  // A keeps the declared length
      {"(A)", vals({"ab  "}), "ab\n"},         // ... but the line loses trailing blanks
      {"(a77)", vals({title}), std::string(77, 't') + "\n"},
      {"( ' ', A, A4, ' -- ', A )", vals({"lyz00", ".log", " TESSEL log-file          (ASCII)"}),
       " lyz00.log --  TESSEL log-file          (ASCII)\n"},
      {"(' Warning: error saving data to the file ', A)", vals({"x.fit"}),
       " Warning: error saving data to the file x.fit\n"},
  });
}

TEST(FormatDescriptors, Integers) {
  check_cases({
      {"(I5)", vals({42LL}), "   42\n"},
      {"(I5)", vals({-42LL}), "  -42\n"},
      {"(I2)", vals({123LL}), "**\n"},
      {"(I2)", vals({-5LL}), "-5\n"},
      {"(I2)", vals({-10LL}), "**\n"},  // the sign needs a column too
      {"(I2.2)", vals({9LL}), "09\n"},
      {"(I2.2)", vals({0LL}), "00\n"},
      {"(I3.3)", vals({7LL}), "007\n"},
      {"(I4.2)", vals({-3LL}), " -03\n"},
      {"(I5.0,'|')", vals({0LL}), "     |\n"},  // Iw.0 writes zero as blanks only
      {"(I0)", vals({0LL}), "0\n"},
      {"(I0)", vals({-120LL}), "-120\n"},
      {"(I0)", vals({std::numeric_limits<long long>::min()}), "-9223372036854775808\n"},
      {"(3i5)", vals({1LL, 2LL, 3LL}), "    1    2    3\n"},
      {"(I2.2,':',I2.2,':',I2.2)", vals({9LL, 5LL, 7LL}), "09:05:07\n"},
      {"(I2.2,'-',A3,'-',I4)", vals({4LL, "Oct", 2012LL}), "04-Oct-2012\n"},
      {"( A, I5)", vals({"MODEL     ", 3LL}), "MODEL         3\n"},
      {"('   * Warning:',I5, ' atoms of unknown type were found *')", vals({12LL}),
       "   * Warning:   12 atoms of unknown type were found *\n"},
      {"( ' ESTRG -W- : Nrg = ',i3,' estimated, ',i3,'  taken' )", vals({5LL, 12LL}),
       " ESTRG -W- : Nrg =   5 estimated,  12  taken\n"},
  });
}

TEST(FormatDescriptors, Fixed) {
  check_cases({
      {"(F7.0)", vals({123.4}), "   123.\n"},
      {"(F6.3)", vals({100.0}), "******\n"},    // 100.000 needs 7 columns
      {"(F6.3)", vals({99.9999}), "******\n"},  // rounds up to 100.000
      {"(F6.3)", vals({99.9994}), "99.999\n"},
      {"(F5.2)", vals({0.5}), " 0.50\n"},
      {"(F4.3)", vals({0.5}), ".500\n"},  // no room for the zero before the point
      {"(F4.2)", vals({-0.5}), "-.50\n"},
      {"(F3.2)", vals({-0.5}), "***\n"},
      {"(F5.3)", vals({0.03}), "0.030\n"},
      {"(F15.6)", vals({0.2}), "       0.200000\n"},
      {"(F10.2)", vals({1e5}), " 100000.00\n"},
      {"(F6.2)", vals({9.996}), " 10.00\n"},
      {"(F5.2)", vals({-0.996}), "-1.00\n"},
      {"(F8.0)", vals({1e300}), "********\n"},
      {"(F0.0)", vals({2.2e-16}), "0.\n"},
      {"(F0.3)", vals({-1.5}), "-1.500\n"},
      {"(F0.1)", vals({0.0}), "0.0\n"},
      {"(F5.1)", vals({3LL}), "  3.0\n"},  // an integer value is written as a real
      // A negative value that rounds to zero keeps its sign; a negative zero has none.
      {"(F5.2)", vals({-0.001}), "-0.00\n"},
      {"(F5.2)", vals({-0.0}), " 0.00\n"},
      {"(2F6.3,'  ',2F5.2)", vals({0.03, 0.5, 1.5, 2.0}), " 0.030 0.500   1.50 2.00\n"},
  });
}

TEST(FormatDescriptors, RoundingFromTheExactBinaryValue) {
  check_cases({
      // 1.005 is stored as 1.00499999999999989..., 2.675 as 2.67499999999999982...
      {"(F5.2)", vals({1.005}), " 1.00\n"},
      {"(F5.2)", vals({2.675}), " 2.67\n"},
      // 0.15 is 0.14999999999999999444..., 0.45 is 0.45000000000000001110...
      {"(F4.1)", vals({0.15}), " 0.1\n"},
      {"(F4.1)", vals({0.45}), " 0.5\n"},
      // Exact halves round away from zero.
      {"(F5.2)", vals({0.125}), " 0.13\n"},
      {"(F3.0)", vals({2.5}), " 3.\n"},
      {"(F4.0)", vals({-2.5}), " -3.\n"},
      {"(E9.2)", vals({12.5}), " 0.13E+02\n"},
      // 0.12344999996 is 0.12344999996000000086...: just below the half at the fifth digit,
      // although eight significant digits already read 0.12345000.
      {"(E12.4)", vals({0.12344999996}), "  0.1234E+00\n"},
      {"(E12.4)", vals({0.12345000003}), "  0.1235E+00\n"},
      // 1.23444999996 is 1.23444999996000004394...: the same trap for F.
      {"(F8.4)", vals({1.23444999996}), "  1.2344\n"},
      // 0.9999995 is 0.99999950000000004113...: above the half, carries into the exponent.
      {"(E14.6)", vals({0.9999995}), "  0.100000E+01\n"},
      {"(E14.6)", vals({123456.75}), "  0.123457E+06\n"},
  });
}

// Random values are never exact decimal ties at six or seven digits, so the C library's
// correctly rounded printf serves as an independent reference for the digits.
TEST(FormatDescriptors, DigitsAgreeWithCorrectlyRoundedPrintf) {
  std::mt19937_64 rng(12345);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> power(-40, 40);
  char ref[64];
  for (int i = 0; i < 2000; ++i) {
    const double x = (i % 2 ? -1 : 1) * mantissa(rng) * std::pow(10.0, power(rng));
    SCOPED_TRACE(x);
    // E14.6: 0.d1...d6E±xx equals printf's d1.d2...d6e(xx-1).
    std::snprintf(ref, sizeof ref, "%.5e", x);
    const std::string r = ref;
    const std::size_t sign = x < 0 ? 1 : 0;
    std::string digits = r.substr(sign, 1);
    digits.append(r, sign + 2, 5);
    const int exponent = std::stoi(r.substr(r.find('e') + 1)) + 1;
    char exp_text[16];
    std::snprintf(exp_text, sizeof exp_text, "E%c%02d", exponent < 0 ? '-' : '+',
                  std::abs(exponent));
    std::string e_expected = sign ? " -" : "  ";
    e_expected.append("0.").append(digits).append(exp_text);
    EXPECT_EQ(format_e(x, 14, 6), e_expected);
    // 1PE13.6: printf's own layout with seven significant digits.
    std::snprintf(ref, sizeof ref, "%13.6E", x);
    EXPECT_EQ(format_e(x, 13, 6, 1), ref);
    // F20.7 where it fits.
    if (std::fabs(x) < 1e11) {
      std::snprintf(ref, sizeof ref, "%20.7f", x);
      EXPECT_EQ(format_f(x, 20, 7), ref);
    }
  }
}

TEST(FormatDescriptors, Exponential) {
  check_cases({
      {"(E14.6)", vals({1.5}), "  0.150000E+01\n"},
      {"(E14.6)", vals({-1.5}), " -0.150000E+01\n"},
      {"(E14.6)", vals({0.0}), "  0.000000E+00\n"},
      {"(E14.6)", vals({-0.0}), "  0.000000E+00\n"},
      {"(E12.6)", vals({1.5}), "0.150000E+01\n"},
      {"(E12.6)", vals({-1.5}), "-.150000E+01\n"},
      {"(E11.6)", vals({1.5}), ".150000E+01\n"},
      {"(E10.6)", vals({1.5}), "**********\n"},
      {"(E11.3)", vals({1234.5}), "  0.123E+04\n"},
      {"(E12.4E3)", vals({1.5}), " 0.1500E+001\n"},
      // Exponents beyond two digits drop the letter E.
      {"(E14.6)", vals({1e98}), "  0.100000E+99\n"},
      {"(E14.6)", vals({1e-99}), "  0.100000E-98\n"},
      {"(E14.6)", vals({1e-100}), "  0.100000E-99\n"},
      {"(E14.6)", vals({1e100}), "  0.100000+101\n"},
      {"(E14.6)", vals({1e-101}), "  0.100000-100\n"},
      {"(E14.6)", vals({9.9999996e99}), "  0.100000+101\n"},
      {"(E14.6)", vals({1.7976931348623157e308}), "  0.179769+309\n"},
      {"(E14.6)", vals({4.9406564584124654e-324}), "  0.494066-323\n"},
      // 1P: one digit before the point, d after it.
      {"(1PE12.4)", vals({12345.0}), "  1.2345E+04\n"},
      {"(1PE12.4)", vals({-0.00123456}), " -1.2346E-03\n"},
      {"(1PE12.4)", vals({0.0}), "  0.0000E+00\n"},
      {"(1PE12.4)", vals({1e100}), "  1.0000+100\n"},
      // The scale factor acts on the E items after it only, and not on F.
      {"(E12.4,1PE12.4)", vals({1.5, 1.5}), "  0.1500E+01  1.5000E+00\n"},
      {"(1P,F6.2,E11.4)", vals({1.5, 1.5}), "  1.50 1.5000E+00\n"},
      {"( '  -- RelBCK limits:', 2F6.3, '; BCK0 (rel/abs) : ', F6.3,' /', E11.3)",
       vals({-0.1, 0.1, 0.02, 12.5}),
       "  -- RelBCK limits:-0.100 0.100; BCK0 (rel/abs) :  0.020 /  0.125E+02\n"},
  });
}

TEST(FormatDescriptors, General) {
  check_cases({
      {"(G10.4,'|')", vals({15.0}), " 15.00    |\n"},
      {"(G10.4)", vals({15.0}), " 15.00\n"},  // the four blanks end the line and go
      {"(G10.4,'|')", vals({-15.0}), "-15.00    |\n"},
      {"(G10.4,'|')", vals({1e4}), "0.1000E+05|\n"},
      {"(G10.4,'|')", vals({9999.4}), " 9999.    |\n"},
      {"(G10.4,'|')", vals({9999.5}), "0.1000E+05|\n"},  // rounds to five digits
      {"(G10.4,'|')", vals({0.1}), "0.1000    |\n"},
      {"(G10.4,'|')", vals({0.09999999}), "0.1000    |\n"},  // 0.1000 after rounding
      {"(G10.4,'|')", vals({0.0999}), "0.9990E-01|\n"},
      {"(G10.4,'|')", vals({0.5}), "0.5000    |\n"},
      {"(G10.4,'|')", vals({-0.5}), "-.5000    |\n"},
      {"(G10.4,'|')", vals({0.0}), " 0.000    |\n"},
      {"(G5.4,'|')", vals({15.0}), "*****|\n"},
      {"(G6.2,'|')", vals({42LL}), "    42|\n"},  // an integer is written as by I6
      // 1P: ignored in the fixed form, one digit before the point in the E form.
      {"(1PG24.4,'|')", vals({0.1000001}), std::string(14, ' ') + "0.1000    |\n"},
      {"(1PG24.3,'|')", vals({0.0999}), std::string(15, ' ') + "9.990E-02|\n"},
      {"(1PG24.3,'|')", vals({0.1}), std::string(15, ' ') + "0.100    |\n"},
      {"(1PG24.4,'|')", vals({12345.0}), std::string(14, ' ') + "1.2345E+04|\n"},
      {"(1pg0.4)", vals({0.03}), "3.0000E-02\n"},
      {"(1pg0.4)", vals({15.0}), "15.00\n"},
      {"(1pg0.4)", vals({0.5}), "0.5000\n"},
      {"(1pg0.4)", vals({0.0}), "0.000\n"},
      {"( A, G10.4, A, G10.4)",
       vals({" Electron   Rg   :", 15.2345, "   Envelope   Rg      :", 20.0}),
       std::string(" Electron   Rg   :") + " 15.23" + "    " +
           "   Envelope   Rg      :" + " 20.00\n"},
  });
}

TEST(FormatDescriptors, NotANumberAndInfinity) {
  check_cases({
      {"(F10.3)", vals({kNaN}), "       NaN\n"},
      {"(F2.1)", vals({kNaN}), "**\n"},
      {"(E14.6)", vals({kInf}), "      Infinity\n"},
      {"(E14.6)", vals({-kInf}), "     -Infinity\n"},
      {"(F5.1)", vals({kInf}), "  Inf\n"},
      {"(F4.1)", vals({-kInf}), "-Inf\n"},
      {"(F3.1)", vals({-kInf}), "***\n"},
      {"(G10.4,'|')", vals({kInf}), "  Infinity|\n"},
      {"(1PG24.4,'|')", vals({kNaN}), std::string(21, ' ') + "NaN|\n"},
      {"(F0.2)", vals({-kInf}), "-Infinity\n"},
  });
}

TEST(FormatControl, LinesRepeatsAndPositions) {
  check_cases({
      // Output stops at the first data descriptor without a value; literals before it appear.
      {"('a=',I3,' b=',I3)", vals({5LL}), "a=  5 b=\n"},
      {"(' x',I3)", {}, " x\n"},
      {"(A)", {}, "\n"},
      {"(3i5,f15.6)", vals({41LL, 15LL, 136LL}), "   41   15  136\n"},
      {"(3i5,f15.6)", vals({41LL, 15LL, 136LL, 2.5}), "   41   15  136       2.500000\n"},
      {"( 3 I 5 )", vals({1LL, 2LL, 3LL}), "    1    2    3\n"},  // blanks do not count
      {"(I5/)", vals({1LL}), "    1\n\n"},
      {"(I3/I3)", vals({1LL, 2LL}), "  1\n  2\n"},
      {"(I1,2/I1)", vals({1LL, 2LL}), "1\n\n2\n"},
      {"(2(I2,'-'),I2)", vals({1LL, 2LL, 3LL}), " 1- 2- 3\n"},
      {"(2(I2,2(I1)))", vals({1LL, 2LL, 3LL, 4LL, 5LL, 6LL}), " 123 456\n"},
      {"(I1,:,' and ',I1)", vals({1LL}), "1\n"},
      // Positions.
      {"(1x,A)", vals({"a"}), " a\n"},
      {"(A,3X)", vals({"a"}), "a\n"},
      {"(A,2X,A)", vals({"a", "b"}), "a  b\n"},
      {"(A,T10,A)", vals({"abc", "def"}), "abc      def\n"},
      {"(A,TL2,A)", vals({"abcd", "X"}), "abXd\n"},
      {"(T5,A,T1,A)", vals({"x", "y"}), "y   x\n"},
      {"(A,TR2,A)", vals({"a", "b"}), "a  b\n"},
      // '$' leaves the line open, trailing blank and all.
      {"( 1x, A, ': ', $ )", vals({"Enter file name"}), " Enter file name: "},
      {"(A, $ )", vals({"..."}), "..."},
      {"(A,2X,$)", vals({"?"}), "?  "},
  });
}

TEST(FormatControl, ReuseOfTheFormatForRemainingValues) {
  std::vector<FormatValue> five(5, FormatValue{1.5});
  std::vector<FormatValue> three(3, FormatValue{1.5});
  std::vector<FormatValue> seven(7, FormatValue{1.5});
  const Format rows("(5E14.6)");
  const std::string field = "  0.150000E+01";
  const std::string line5 = field + field + field + field + field;
  EXPECT_EQ(rows.write(five), line5 + "\n");
  EXPECT_EQ(line5.size(), 70u);
  EXPECT_EQ(rows.write(three), field + field + field + "\n");
  EXPECT_EQ((field + field + field).size(), 42u);
  EXPECT_EQ(rows.write(seven), line5 + "\n" + field + field + "\n");

  // 51 values give ten full rows and one of a single value.
  std::vector<FormatValue> many(51, FormatValue{1.5});
  const std::string text = rows.write(many);
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 11u);

  check_cases({
      // Reuse starts at the last top-level group, its repeat count included.
      {"('head',2(I3))", vals({1LL, 2LL, 3LL, 4LL, 5LL}), "head  1  2\n  3  4\n  5\n"},
      // The scale factor stays in force.
      {"(1P,E11.4)", vals({1.5, 2.5}), " 1.5000E+00\n 2.5000E+00\n"},
  });
  // A format that cannot take the remaining values is an error, not an endless loop.
  EXPECT_THROW(Format("('x')").write(vals({1LL})), FormatError);
  EXPECT_THROW(Format("(I3,('x'))").write(vals({1LL, 2LL})), FormatError);
}

TEST(FormatControl, CallOperatorAndTypeErrors) {
  EXPECT_EQ(Format("(A,I3,F5.1)")("n", 7, 2.25f), "n  7  2.3\n");  // 2.25f is exact: half up
  EXPECT_EQ(Format("(I3)")(std::size_t{12}), " 12\n");
  EXPECT_EQ(Format("(A,A2)")('x', 'y'), "x y\n");  // a character is a text
  EXPECT_THROW(Format("(I5)")(1.5), FormatError);
  EXPECT_THROW(Format("(A)")(3), FormatError);
  EXPECT_THROW(Format("(F5.1)")("x"), FormatError);
}

TEST(FormatControl, MalformedFormatsAreRejected) {
  for (const char* text : {"I5", "(I5", "(F5)", "(Q5)", "('abc)", "(I5))", "(0I5)", "(E10)",
                           "(-2X)", "(T0)", "()x", ""}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(Format{text}, FormatError);
  }
  EXPECT_NO_THROW(Format("()"));
  EXPECT_NO_THROW(Format("(1pg0.4)"));
  EXPECT_NO_THROW(Format("( 2F6.3,'  ',2F5.2,2F8.0,F6.3,'|',F5.3,F6.3,F8.0,F7.3,F6.3)"));
}

TEST(FormatControl, InternalWriteIntoAFixedBuffer) {
  const Format title(
      "( A8, '  Dro:', F5.3,'  Ra:', F5.3,                         '  Vol:',F7.0,  '  "
      "Chi^2:',F6.3)");
  // 8 + (6 + 5) + (5 + 5) + (6 + 7) + (8 + 6) = 56 characters of fields, then blanks to 90.
  const std::string expected_fields = "6lyz.pdb  Dro:0.030  Ra:1.600  Vol: 12346.  Chi^2: 1.234";
  const std::string buffer =
      title.write_internal(90, vals({"6lyz.pdb", 0.03, 1.6, 12345.6, 1.234}));
  EXPECT_EQ(buffer, expected_fields + std::string(90 - 56, ' '));
  EXPECT_EQ(buffer.size(), 90u);

  const Format header(
      "( ' Dif/Atom/Shape/Bord ',A12, ' Dro:', F7.3,                     ' Ra:', F7.4,' Rg:',F6.2, "
      "' Vtot:',F8.0)");
  const std::string h =
      header.write_internal(90, vals({"abcdefghijklmnop", 0.03, 1.6, 14.25, 25000.0}));
  EXPECT_EQ(h, " Dif/Atom/Shape/Bord abcdefghijkl Dro:  0.030 Ra: 1.6000 Rg: 14.25 Vtot:  25000." +
                   std::string(10, ' '));

  EXPECT_EQ(Format("(A)").write_internal(5, vals({"abcdefgh"})), "abcde");
  EXPECT_EQ(Format("(A,T8,A)").write_internal(10, vals({"ab", "c"})), "ab     c  ");
  EXPECT_THROW(Format("(A/A)").write_internal(10, vals({"a", "b"})), FormatError);
}

TEST(FieldRenderers, MatchTheDescriptors) {
  EXPECT_EQ(format_i(7, 3, 3), "007");
  EXPECT_EQ(format_i(-42, 0), "-42");
  EXPECT_EQ(format_f(123.4, 7, 0), "   123.");
  EXPECT_EQ(format_f(2.2e-16, 0, 0), "0.");
  EXPECT_EQ(format_e(1.5, 14, 6), "  0.150000E+01");
  EXPECT_EQ(format_e(12345.0, 12, 4, 1), "  1.2345E+04");
  EXPECT_EQ(format_g(15.0, 10, 4), " 15.00    ");
  EXPECT_EQ(format_g(12345.0, 0, 4, 1), "1.2345E+04");
  EXPECT_EQ(int_text(-9), "-9");
  EXPECT_EQ(int_text(1234567), "1234567");
}

TEST(RealText, FollowsTheLabelledLineRule) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0.5, "0.5000"},       {15.0, "15.00"},        {2584.0, "2584."},  {12345.0, "1.2345E+04"},
      {0.03, "3.000E-02"},   {0.1, "0.100"},         {0.0, "0.0"},       {-0.0, "0.0"},
      {-2584.0, "-2584."},   {0.1000001, "0.1000"},  // just above 0.1: four digits
      {0.09999999, "0.100"},  // not above: three digits, rounded into the fixed range
      {123.456, "123.5"},    {9999.5, "9.9995E+03"},  // rounds to 10000 with four digits, so the E
                                                      // form
      {1e-100, "1.000-100"}, {kNaN, "NaN"},          {kInf, "Infinity"}, {-kInf, "-Infinity"},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(real_text(value), expected);
  }
}

// The labelled line as written: one extra blank, the label, a blank, dots to column 56,
// a blank, the colon in column 58, a blank and the value from column 60 (buffer columns).
std::string expected_labelled(const std::string& label, const std::string& value) {
  std::string buf = label;
  if (label.size() <= 55) {
    buf += ' ';
    while (buf.size() < 56) buf += '.';
    buf += " : ";
  } else if (label.size() == 56) {
    buf += " : ";
  } else {
    buf += ": ";
  }
  return " " + buf + value + "\n";
}

TEST(LabelledLine, DotsAndColonAroundTheThresholds) {
  for (std::size_t n : {6u, 53u, 54u, 55u, 56u, 57u, 60u}) {
    SCOPED_TRACE(n);
    std::string label(n, 'x');
    label[0] = ' ';
    EXPECT_EQ(labelled_line(label, 1234), expected_labelled(label, "1234"));
  }
  const std::string l54 = " " + std::string(53, 'x');
  EXPECT_EQ(labelled_line(l54, 7), " " + l54 + " . : 7\n");  // one dot
  const std::string l55 = " " + std::string(54, 'x');
  EXPECT_EQ(labelled_line(l55, 7), " " + l55 + "  : 7\n");  // no dot
  const std::string l57 = " " + std::string(56, 'x');
  EXPECT_EQ(labelled_line(l57, 7), " " + l57 + ": 7\n");
  // The colon of a short label stands in column 58 of the buffer, 59 of the written line.
  const std::string line = labelled_line(" Atoms", 5);
  EXPECT_EQ(line.find(':'), 58u);
  EXPECT_EQ(line.substr(60), "5\n");
}

TEST(LabelledLine, ValueKinds) {
  const std::string label = " Number of atoms read";
  EXPECT_EQ(labelled_line(label, 1234), expected_labelled(label, "1234"));
  EXPECT_EQ(labelled_line(label, -5LL), expected_labelled(label, "-5"));
  EXPECT_EQ(labelled_line(label, std::size_t{17}), expected_labelled(label, "17"));
  EXPECT_EQ(labelled_line(label, 0.5), expected_labelled(label, "0.5000"));
  EXPECT_EQ(labelled_line(label, 0.0), expected_labelled(label, "0.0"));
  EXPECT_EQ(labelled_line(label, "lyz.pdb   "), expected_labelled(label, "lyz.pdb"));
  EXPECT_EQ(labelled_line(label, std::string("  x")), expected_labelled(label, "  x"));
  EXPECT_EQ(labelled_line(label + "   ", 3), expected_labelled(label, "3"));  // label trimmed
}

TEST(LabelledLine, BufferLengthCutsLongValues) {
  // Texts and reals: 128 columns, the value starts in column 60, so 69 characters remain.
  const std::string name(100, 'n');
  EXPECT_EQ(labelled_line(" File", name), expected_labelled(" File", std::string(69, 'n')));
  // A 120-character label puts the value in columns 123-128: six characters of 1.2345E+04.
  const std::string l120(120, 'x');
  EXPECT_EQ(labelled_line(l120, 12345.0), " " + l120 + ": 1.2345\n");
  // Integers: 256 columns; a 250-character label leaves columns 253-256.
  const std::string l250(250, 'x');
  EXPECT_EQ(labelled_line(l250, 123456), " " + l250 + ": 1234\n");
}

TEST(FreeForm, BlankSeparatedItems) {
  EXPECT_EQ(free_form_line(1, -2, "abc"), " 1 -2 abc\n");
  EXPECT_EQ(free_form_line(0.5), " 0.500000000000000\n");
  EXPECT_EQ(free_form_line(1234.5), " 1234.50000000000\n");
  EXPECT_EQ(free_form_line(1e-5), " 1.00000000000000E-05\n");
  EXPECT_EQ(free_form_line(-2.5e20), " -2.50000000000000E+20\n");
  EXPECT_EQ(free_form_line(0.0, kNaN), " 0.0 NaN\n");
  EXPECT_EQ(free_form_line(), "\n");
}

TEST(FreeForm, DoublesRoundTripWithAtLeastFifteenDigits) {
  const double values[] = {
      1.0 / 3.0,          0.1,     2.0 / 3.0 * 1e-7,        123456789.123456789,
      6.02214076e23,      -0.0123, 4.9406564584124654e-324, 1.7976931348623157e308,
      0.30000000000000004};
  for (double v : values) {
    SCOPED_TRACE(v);
    const std::string line = free_form_line(v);
    ASSERT_GE(line.size(), 3u);
    const std::string token = line.substr(1, line.size() - 2);
    double back = 0;
    const auto r = std::from_chars(token.data(), token.data() + token.size(), back);
    EXPECT_EQ(r.ptr, token.data() + token.size());
    EXPECT_EQ(back, v);
    // Significant digits: the digits of the mantissa without leading zeros.
    std::size_t digits = 0;
    bool started = false;
    for (char c : token) {
      if (c == 'E') break;
      if (c >= '1' && c <= '9') started = true;
      if (started && c >= '0' && c <= '9') ++digits;
    }
    EXPECT_GE(digits, 15u);
  }
}

}  // namespace
}  // namespace tessel
