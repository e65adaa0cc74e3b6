// The GSI reader on a real file, against the reduction another program made
// of it, and on files written here from true coordinates in every units
// digit, GSI-8 and GSI-16, every line end, with dashes: read, reduced and
// adjusted back to the truth. Then the faults, each on its line and word.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "instrument/gsi.hpp"
#include "instrument/raw_formats.hpp"

namespace traverse {
namespace {

constexpr double rho = 63.661977236758134308;  // gon per radian

std::string ReadData(const std::string& name) {
  std::ifstream file(std::string(INSTRUMENT_DATA_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// ---- the GeodePy sample against its .msr ----

// The first velocity correction, ppm, as the program that wrote the .msr
// computed it from the .gpy (Rueger's refractivity for the carrier; its
// reference atmosphere 12 C, 1013.25 hPa, 60 %). Its water vapour term at
// the observed atmosphere has the opposite sign to Rueger's eq. 6.11, which
// moves the correction by 0.6 ppm: reproduced so that the .msr is met.
double MsrFirstVelocityPpm(double wavelength, double t, double p, double humidity) {
  const double ng = 287.6155 + 4.8866 / (wavelength * wavelength) + 0.068 / std::pow(wavelength, 4);
  const double d = 273.15 / 1013.25 * ng;
  const double es = (1.0007 + 3.46e-6 * 1013.25) * 6.1121 * std::exp(17.502 * 12 / (240.94 + 12));
  const double c = ng * 1013.25 / 285.15 * 273.15 / 1013.25 - 11.27 * es * 0.6 / 285.15;
  const double vapour = std::exp(17.269 * t / (237.3 + t)) * 0.061078 * humidity;
  return c - (d * p / (273.15 + t) + 11.27 * vapour / (273.15 + t));
}

double DmsToGon(double d, double m, double s) {
  return (d + m / 60 + s / 3600) * 400 / 360;
}

struct MsrValue {
  double direction = 0;  // gon, a circle reading as meaned
  double zenith = 0;     // gon
  double slope = 0;      // metres
};

TEST(GsiSample, ReducesToTheMsrOfTheProgramThatReducedIt) {
  // The .gpy: renames and the atmosphere.
  std::map<std::string, std::string> renamed;
  std::vector<double> velocity;
  {
    std::istringstream gpy(ReadData("GeoscienceAustralia_GeodePy_gsisample.gpy"));
    std::string line, section;
    while (std::getline(gpy, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || std::isalpha(static_cast<unsigned char>(line[0]))) {
        if (!line.empty()) section = line;
        continue;
      }
      if (section.rfind("Rename", 0) == 0) {
        renamed[line.substr(0, line.find(','))] = line.substr(line.find(',') + 1);
      } else if (section.rfind("First Velocity", 0) == 0) {
        velocity.push_back(std::stod(line));
      }
    }
  }
  ASSERT_EQ(renamed.size(), 6u);
  ASSERT_EQ(velocity.size(), 4u);
  const double ppm = MsrFirstVelocityPpm(velocity[0], velocity[1], velocity[2], velocity[3]);
  EXPECT_NEAR(ppm, 26.8, 0.1);

  // The .msr: per station and target, D, V and S.
  std::map<std::pair<std::string, std::string>, MsrValue> msr;
  {
    std::istringstream text(ReadData("GeoscienceAustralia_GeodePy_gsisample.msr"));
    std::string line, station;
    std::getline(text, line);  // header
    while (std::getline(text, line)) {
      std::istringstream words(line);
      std::string kind, a, b;
      words >> kind >> a;
      if (kind == "D" && line[2] != ' ') {  // a set's first line names the station
        int count;
        words >> b >> count;
        station = a;
      } else if (kind == "D") {
        b = a;
      } else {
        words >> b;
      }
      double d, m, s;
      if (kind == "S") {
        words >> msr[{a, b}].slope;
        continue;
      }
      words >> d >> m >> s;
      (kind == "D" ? msr[{station, b}].direction : msr[{a, b}].zenith) = DmsToGon(d, m, s);
    }
  }

  Book book = ReadGsi(ReadData("GeoscienceAustralia_GeodePy_gsisample.gsi"), "gsisample.gsi", {});
  ASSERT_EQ(book.setups.size(), 5u);
  EXPECT_TRUE(book.known.empty());  // 84-86 are the instrument's dummies, not control
  ReduceBook(book);
  int compared = 0;
  for (const BookSetup& setup : book.setups) {
    const std::string station = renamed.at(setup.station);
    const double reference = msr.at({station, renamed.at(setup.directions.front().target)}).direction;
    for (const SetupDirection& direction : setup.directions) {
      SCOPED_TRACE(station + " to " + direction.target);
      const MsrValue& expected = msr.at({station, renamed.at(direction.target)});
      const double reduced = std::fmod(expected.direction - reference + 800, 400);
      const double cc = 1.0 / 3240;  // 0.1" in gon
      EXPECT_NEAR(std::remainder(direction.direction - reduced, 400), 0, cc);
      EXPECT_NEAR(*direction.zenith, expected.zenith, cc);
      EXPECT_NEAR(*direction.slope * (1 + ppm * 1e-6), expected.slope, 0.0001);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 13);
}

// ---- synthetic files from true coordinates ----

struct Truth {
  double east, north, height;
};
const std::map<std::string, Truth> points = {{"A", {1000, 2000, 100}},
                                             {"P1", {1120.5, 2060.25, 101.5}},
                                             {"P2", {1260.75, 2010.5, 99.25}},
                                             {"B", {1380, 2085.5, 102}}};

// How one synthetic file is written.
struct Style {
  char angle;     // units digit of 21 and 22
  char length;    // units digit of 31, 81-88
  bool wide;      // GSI-16
  const char* end;
  bool dashes;    // an unmeasured remark and height written as dashes
};

// A word: the WI, its information ending in the units digit, the sign and
// the data padded with zeros to the style's width.
std::string Word(const Style& style, const std::string& head, std::int64_t value) {
  const std::size_t width = style.wide ? 16 : 8;
  std::string digits = std::to_string(value < 0 ? -value : value);
  EXPECT_LE(digits.size(), width) << head;
  return head + (value < 0 ? "-" : "+") + std::string(width - digits.size(), '0') + digits + " ";
}
std::string Id(const Style& style, const std::string& head, const std::string& id) {
  const std::size_t width = style.wide ? 16 : 8;
  return head + "+" + std::string(width - id.size(), '0') + id + " ";
}

std::int64_t AngleData(char units, double gon) {
  switch (units) {
    case '2': return std::llround(gon * 1e5);
    case '3': return std::llround(gon * 0.9 * 1e5);
    case '5': return std::llround(gon * 16 * 1e4);
    default: {
      const std::int64_t tenths = std::llround(gon * 0.9 * 36000);
      return tenths / 36000 * 100000 + tenths / 600 % 60 * 1000 + tenths % 600;
    }
  }
}
std::int64_t LengthData(char units, double metres) {
  switch (units) {
    case '1': return std::llround(metres / 0.3048 * 1e3);
    case '6': return std::llround(metres * 1e4);
    case '7': return std::llround(metres / 0.3048 * 1e4);
    case '8': return std::llround(metres * 1e5);
    default: return std::llround(metres * 1e3);
  }
}

// Setups on A, P1, P2 and B, each sighting its neighbours in two faces,
// circles set to 0 on an arbitrary line; A and B are control lines.
std::string WriteGsi(const Style& style) {
  std::string out;
  int block = 0;
  const auto line = [&](const std::string& words) {
    out += (style.wide ? "*" : "") + words + style.end;
    if (style.end == std::string("\r")) out += style.end;  // blank lines between, as a Wild T1000 writes
  };
  const auto id = [&](const std::string& name) {
    char head[8];
    std::snprintf(head, sizeof head, "11%04d", ++block);
    return Id(style, head, name);
  };
  const auto length = [&](const char* wi, double metres) {
    return Word(style, std::string(wi) + "..." + style.length, LengthData(style.length, metres));
  };
  for (const char* name : {"A", "B"}) {
    const Truth& p = points.at(name);
    line(id(name) + length("81", p.east) + length("82", p.north) + length("83", p.height));
  }
  const std::vector<std::vector<std::string>> setups = {
      {"A", "B", "P1"}, {"P1", "A", "P2"}, {"P2", "P1", "B"}, {"B", "P2", "A"}};
  double zero = 13.25;
  for (const auto& setup : setups) {
    const Truth& s = points.at(setup[0]);
    const double hi = 1.55;
    line(id(setup[0]) + length("84", s.east) + length("85", s.north) + length("86", s.height) +
         length("88", hi));
    zero += 71.5;
    for (int face = 1; face <= 2; ++face) {
      for (std::size_t k = 1; k < setup.size(); ++k) {
        const Truth& t = points.at(setup[face == 1 ? k : setup.size() - k]);
        const double de = t.east - s.east, dn = t.north - s.north;
        const double dh = t.height + 1.3 - s.height - hi;
        const double horizontal = std::hypot(de, dn);
        double hz = std::fmod(std::atan2(de, dn) * rho - zero + 800, 400);
        double v = std::atan2(horizontal, dh) * rho;
        if (face == 2) hz = std::fmod(hz + 200, 400), v = 400 - v;
        const std::string angle = std::string("...") + style.angle;
        line(id(setup[face == 1 ? k : setup.size() - k]) + Word(style, "21" + angle, AngleData(style.angle, hz)) +
             Word(style, "22" + angle, AngleData(style.angle, v)) +
             length("31", std::hypot(horizontal, dh)) + length("87", 1.3) +
             (style.dashes ? std::string("71....+") + std::string(style.wide ? 16 : 8, '-') + " " : ""));
      }
    }
  }
  return out;
}

TEST(GsiSynthetic, EveryUnitsDigitWidthAndLineEndReadsBackToTheTruth) {
  const Style styles[] = {
      {'2', '0', false, "\r\n", false}, {'3', '6', true, "\n", true},  {'4', '8', true, "\r", true},
      {'5', '1', false, "\r\n", false}, {'4', '7', true, "\n", false}, {'2', '.', false, "\n", true},
      {'4', '6', false, "\r", false},
  };
  for (const Style& style : styles) {
    SCOPED_TRACE(std::string("angle units ") + style.angle + ", length units " + style.length +
                 (style.wide ? ", GSI-16" : ", GSI-8"));
    const std::string text = WriteGsi(style);
    ASSERT_EQ(DetectInstrumentFormat(text), InputFormat::Gsi);
    Book book = ReadGsi(text, "synthetic.gsi", {});
    ASSERT_EQ(book.known.size(), 2u);
    ASSERT_EQ(book.setups.size(), 4u);
    EXPECT_EQ(book.setups[1].station, "P1");
    // Each units digit holds a value to half its last digit.
    const double step = style.length == '1' ? 0.0003048 : style.length == '0' || style.length == '.' ? 0.001 : 0.0001;
    EXPECT_NEAR(*book.setups[1].hi, 1.55, step / 2 + 1e-9);
    EXPECT_EQ(book.known[1].name, "B");
    EXPECT_NEAR(book.known[1].xy.x, 2085.5, step / 2 + 1e-9);
    ReduceBook(book);
    Settings settings;
    settings.rule = Rule::LeastSquares;
    const BookResult result = AdjustBook(book, settings);
    std::map<std::string, GridPoint> adjusted;
    for (const NewPoint& point : result.points) adjusted[point.point.name] = point.point.xy;
    for (const char* name : {"P1", "P2"}) {
      ASSERT_TRUE(adjusted.count(name)) << name;
      EXPECT_NEAR(adjusted[name].x, points.at(name).north, 2 * step) << name;
      EXPECT_NEAR(adjusted[name].y, points.at(name).east, 2 * step) << name;
    }
  }
}

TEST(GsiSynthetic, TheInstrumentsCoordinatesAreCheckedNotTaken) {
  const Style style{'4', '6', true, "\r\n", false};
  // A station line with coordinates, then a pointing that holds the
  // instrument's 81-83 for P1: on the line, and 5 cm off.
  const auto file = [&](double offEast) {
    const Truth& a = points.at("A");
    const Truth& p = points.at("P1");
    const double de = p.east - a.east, dn = p.north - a.north, dh = p.height + 1.3 - a.height - 1.55;
    const double h = std::hypot(de, dn);
    const auto length = [&](const char* wi, double m) { return Word(style, std::string(wi) + "...6", LengthData('6', m)); };
    return "*" + Id(style, "110001", "A") + length("84", a.east) + length("85", a.north) + length("86", a.height) +
           length("88", 1.55) + "\n*" + Id(style, "110002", "P1") +
           Word(style, "21...4", AngleData('4', std::atan2(de, dn) * rho)) +
           Word(style, "22...4", AngleData('4', std::atan2(h, dh) * rho)) + length("31", std::hypot(h, dh)) +
           length("87", 1.3) + length("81", p.east + offEast) + length("82", p.north) + length("83", p.height) + "\n";
  };
  const Book good = ReadGsi(file(0), "good.gsi", {});
  EXPECT_TRUE(good.known.empty());
  ASSERT_EQ(good.notes.size(), 1u);
  EXPECT_NE(good.notes[0].find("'P1' (line 2): E +0.0000 m, N +0.0000 m, H +0.0000 m"), std::string::npos)
      << good.notes[0];
  const Book off = ReadGsi(file(0.05), "off.gsi", {});
  ASSERT_EQ(off.notes.size(), 1u);
  EXPECT_NE(off.notes[0].find("E +0.0500 m"), std::string::npos) << off.notes[0];
}

TEST(GsiWords, PointIdsCorrectionsAndEncodings) {
  const std::string text =
      "*110001+000000000000BP04 84..16+0000000000010000 88..16+0000000000015000 51..1.+00000008-0000012\r\n"
      "*110002+0000000000009001 21.324+0000000012345120 22.324+0000000009000000 31..06+0000000001000000 "
      "71....+000000000000Fl\xE4" "c 87..16+----------------\r\n";
  for (const bool apply : {false, true}) {
    RawOptions options;
    options.applyRecordedCorrections = apply;
    const Book book = ReadGsi(text, "words.gsi", options);
    ASSERT_EQ(book.setups.size(), 1u);
    const BookSetup& setup = book.setups[0];
    EXPECT_EQ(setup.station, "BP04");
    const SetupReading& reading = setup.readings.at(0);
    EXPECT_EQ(reading.target, "9001");
    EXPECT_NEAR(reading.hz, DmsToGon(123, 45, 12), 1e-12);
    EXPECT_EQ(reading.code, "Fl\xC3\xA4" "c");  // Latin-1 made UTF-8
    EXPECT_FALSE(reading.ht.has_value());        // dashes: no value
    EXPECT_NEAR(*reading.slope, apply ? 100 * (1 + 8e-6) - 0.012 : 100, 1e-12);
    ASSERT_EQ(book.notes.size(), 1u);
    EXPECT_NE(book.notes[0].find(apply ? "applied to its distances" : "taken as applied"), std::string::npos);
  }
  RawOptions cyrillic;
  cyrillic.encoding = TextEncoding::Cp1251;
  const Book book = ReadGsi(text, "words.gsi", cyrillic);
  EXPECT_EQ(book.setups[0].readings[0].code, "Fl\xD0\xB4" "c");  // 0xE4 is Cyrillic de
}

TEST(GsiFaults, NameTheLineAndTheWord) {
  const std::string station = "110001+0000000A 88...0+00001550\n";
  struct Case {
    std::string text;
    int line;
    const char* message;
  } cases[] = {
      {"110001+00000001 21...4+12345670\n", 1, "an observation before any setup"},
      {station + "110002+0000000B 21...6+12345670\n", 2, "word 2 (WI 21, '21...6+12345670'): the units digit '6' is no angle unit"},
      {station + "110002+0000000B 21...4+12675670\n", 2, "expected DDDMMSSs"},
      {station + "110002+0000000B 21...4+1234567\n", 2, "word 2: expected a GSI word"},
      {station + "110002+0000000B 21...2+12345670 31...0+00012345\n", 2, "a slope distance without its zenith angle"},
      {station + "110002+0000000B 21...2+12345670 88...0+00001600\n", 2, "differs from the setup's 1.55"},
      {station + "110002+0000000A 21...2+12345670\n", 2, "the setup's own station"},
      {station + "110002+0000000B 21...2+1234x670\n", 2, "expected digits"},
      {"110001+0000000K 81...0+00001000\n", 1, "lack their northing (WI 82)"},
      {"110001+0000000K 81...0+00001000 82...0+00001000\n110002+0000000K 81...0+00001000 82...0+00001001\n", 2,
       "other coordinates on line 1"},
  };
  for (const Case& c : cases) {
    try {
      ReadGsi(c.text, "bad.gsi", {});
      ADD_FAILURE() << "no fault: " << c.message;
    } catch (const JobError& error) {
      EXPECT_EQ(error.line(), c.line) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace traverse
