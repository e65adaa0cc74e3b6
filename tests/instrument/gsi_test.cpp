// The GSI reader on a real file, against the reduction another program made
// of it, and on files tools/make_gsi.py wrote from true coordinates in every
// units digit, GSI-8 and GSI-16, every line end, with dashes: read, reduced
// and adjusted back to the truth. Then the faults, each on its line and word.
#include <cmath>
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

// ---- synthetic files from true coordinates (tools/make_gsi.py) ----

// The truth the files were written from: A and B control, P1 and P2 new.
const std::map<std::string, GridPoint> truth = {{"P1", {2060.25, 1120.5}}, {"P2", {2010.5, 1260.75}}};

TEST(GsiSynthetic, EveryUnitsDigitWidthAndLineEndAdjustsBackToTheTruth) {
  const struct {
    const char* file;
    double step;  // metres: the last digit of its lengths
  } files[] = {{"synthetic_gon_mm_gsi8_crlf.gsi", 0.001},         {"synthetic_deg_tenth_mm_lf.gsi", 0.0001},
               {"synthetic_dms_hundredth_mm_cr.gsi", 0.00001},    {"synthetic_mil_ft_gsi8.gsi", 0.0003048},
               {"synthetic_dms_tenthousandth_ft_lf.gsi", 0.00003048}, {"synthetic_dms_tenth_mm_gsi8_cr.gsi", 0.0001}};
  for (const auto& [file, step] : files) {
    SCOPED_TRACE(file);
    const std::string text = ReadData(file);
    ASSERT_EQ(DetectInstrumentFormat(text), InputFormat::Gsi);
    Book book = ReadGsi(text, file, {});
    // A file in feet is given in international feet; the truth is in metres.
    const bool feet = std::string_view(file).find("_ft") != std::string_view::npos;
    EXPECT_EQ(book.length, feet ? LengthUnit::Foot : LengthUnit::Metre);
    EXPECT_EQ(book.lengthStated, feet);
    ConvertLengths(book, LengthUnit::Metre);
    ASSERT_EQ(book.known.size(), 2u);
    ASSERT_EQ(book.setups.size(), 4u);
    EXPECT_EQ(book.setups[1].station, "P1");
    EXPECT_NEAR(*book.setups[1].hi, 1.55, step / 2 + 1e-12);
    EXPECT_EQ(book.known[1].name, "B");
    EXPECT_NEAR(book.known[1].xy.x, 2085.5, step / 2 + 1e-9);
    EXPECT_FALSE(book.setups[0].readings[0].description.size());  // a remark of dashes is none
    ReduceBook(book);
    Settings settings;
    settings.rule = Rule::LeastSquares;
    const BookResult result = AdjustBook(book, settings);
    ASSERT_EQ(result.points.size(), 2u);
    for (const NewPoint& point : result.points) {
      EXPECT_NEAR(point.point.xy.x, truth.at(point.point.name).x, 2 * step + 2e-5) << point.point.name;
      EXPECT_NEAR(point.point.xy.y, truth.at(point.point.name).y, 2 * step + 2e-5) << point.point.name;
    }
  }
}

TEST(GsiSynthetic, TheInstrumentsCoordinatesAreCheckedNotTaken) {
  std::string text = ReadData("synthetic_dms_tenth_mm_gsi8_cr.gsi");
  const Book good = ReadGsi(text, "good.gsi", {});
  EXPECT_EQ(good.known.size(), 2u);  // A and B; not the sideshots' nor the stations' coordinates
  ASSERT_EQ(good.notes.size(), 3u);
  EXPECT_NE(good.notes[0].find("'S1' (line 21): E +0.0000 m, N +0.0000 m, H +0.0000 m"), std::string::npos)
      << good.notes[0];
  // S1's easting 5 cm off, as a unit mix-up would put it.
  const std::size_t east = text.find("81...6+", text.find("000000S1"));
  text.replace(east + 7, 8, std::to_string(std::stoll(text.substr(east + 7, 8)) + 500));
  const Book off = ReadGsi(text, "off.gsi", {});
  EXPECT_NE(off.notes[0].find("'S1' (line 21): E +0.0500 m, N +0.0000 m"), std::string::npos) << off.notes[0];
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

// One block is cut line after line: what a line held is gone on the next.
TEST(GsiWords, ALineHoldsOnlyItsOwnWords) {
  const std::string text =
      "*110001+000000000000000K 81...0+0000000000100000 82...0+0000000000200000 83...0+0000000000010000\r\n"
      "*110002+000000000000000K 84...0+0000000000100000 85...0+0000000000200000 88...0+0000000000001500\r\n"
      "*110003+0000000000000001 21...2+0000000001000000 32...0+0000000000010000 71....+0000000000000007 "
      "81...0+0000000000100000 82...0+0000000000200100\r\n"
      "*110004+0000000000000002 21...2+0000000002000000 32...0+0000000000020000\r\n";
  const Book book = ReadGsi(text, "lines.gsi", {});
  ASSERT_EQ(book.known.size(), 1u);
  ASSERT_EQ(book.setups.size(), 1u);
  const std::vector<SetupReading>& readings = book.setups[0].readings;
  ASSERT_EQ(readings.size(), 2u);
  EXPECT_EQ(readings[0].code, "7");
  EXPECT_EQ(readings[1].code, "");  // not the line before's
  EXPECT_FALSE(readings[1].slope.has_value());
  EXPECT_NEAR(*readings[1].horizontal, 20, 1e-12);
  // 10 m at 10 gon from K, against the instrument's (100, 200.1): the one
  // pointing that holds coordinates is checked.
  EXPECT_NE(book.notes.back().find("'1' (line 3)"), std::string::npos) << book.notes.back();
  for (const std::string& note : book.notes) EXPECT_EQ(note.find("'2'"), std::string::npos) << note;
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
      {station + "110002+0000000B 21...2+12-4x670\n", 2, "expected digits"},  // dashes and more
      {station + "110002+0000000B 21...2+12345670 21...2+12345670\n", 2, "WI 21 appears twice"},
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
  // A prism constant applied that leaves no distance (found by fuzzing).
  RawOptions apply;
  apply.applyRecordedCorrections = true;
  try {
    ReadGsi(station + "110002+0000000B 21...2+12345670 32...0+00000100 51..1.+0000-500\n", "bad.gsi", apply);
    ADD_FAILURE() << "no fault for a negative corrected distance";
  } catch (const JobError& error) {
    EXPECT_EQ(error.line(), 2);
    EXPECT_NE(std::string(error.what()).find("leave no positive distance"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace traverse
