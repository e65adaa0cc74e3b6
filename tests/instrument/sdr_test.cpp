// The SDR reader on files written here from true coordinates, in every
// header option and both layouts.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "input/field_book.hpp"
#include "input/field_book_writer.hpp"
#include "instrument/raw_job.hpp"
#include "instrument/sdr.hpp"

namespace traverse {
namespace {

struct Truth {
  const char* name;
  double x, y, z;
};
const Truth kS{"1", 1000, 2000, 50}, kA{"2", 1080.5, 2060.25, 52.5}, kB{"3", 940, 2090, 48},
    kC{"4", 1150, 2010, 55}, kMark{"9", 1500, 2500, 0};

double Bearing(const Truth& from, const Truth& to) {
  const double t = std::atan2(to.y - from.y, to.x - from.x) * 200 / std::numbers::pi;
  return t < 0 ? t + 400 : t;
}

struct Layout {
  bool twoX;
  int angle;  // header column 41: 1 degrees, 2 gon, 3 mils
  int length;  // 1 m, 2 ft
  int order;   // 1 N-E, 2 E-N
  int direction;  // 1 clockwise, 2 counterclockwise
};

class Writer {
 public:
  explicit Writer(const Layout& layout) : l_(layout) {}

  std::string Name(const char* name) const {
    std::string s = name;
    s.resize(l_.twoX ? 4 : 16, ' ');
    return s;
  }
  std::string Real(double value, int decimals) const {
    char text[40];
    std::snprintf(text, sizeof text, "%*.*f", l_.twoX ? 10 : 16, decimals, value);
    return text;
  }
  std::string Angle(double gon) const {
    const double v = l_.angle == 1 ? gon * 0.9 : l_.angle == 2 ? gon : gon * 16;
    return Real(v, l_.twoX ? 5 : 8);
  }
  std::string Length(double metres) const {
    return Real(l_.length == 1 ? metres : metres / 0.3048, l_.twoX ? 4 : 6);
  }
  std::string Coordinates(const Truth& p) const {
    return l_.order == 1 ? Length(p.x) + Length(p.y) : Length(p.y) + Length(p.x);
  }
  std::string Header() const {
    std::string h = l_.twoX ? "00NMSDR20 V03-05" : "00NMSDR33 V04-04.02";
    h.resize(40, ' ');
    return h + std::to_string(l_.angle) + std::to_string(l_.length) + "11" +
           std::to_string(l_.order) + std::to_string(l_.direction);
  }
  std::string Circle(double gon) const {
    const double reading = l_.direction == 1 ? gon : 400 - gon;
    return Angle(reading >= 400 ? reading - 400 : reading);
  }
  // A pointing in `face` from `at` whose circle's zero lies on `zero`.
  std::string Shot(int face, const Truth& at, const Truth& to, double zero, double hi,
                   double ht) const {
    const double hd = std::hypot(to.x - at.x, to.y - at.y), dz = to.z + ht - at.z - hi;
    double zenith = std::atan2(hd, dz) * 200 / std::numbers::pi;
    double hz = Bearing(at, to) - zero + (face == 2 ? 200 : 0);
    hz = std::fmod(hz + 800, 400);
    if (face == 2) zenith = 400 - zenith;
    return std::string("09F") + std::to_string(face) + Name(at.name) + Name(to.name) +
           Length(std::hypot(hd, dz)) + Angle(zenith) + Circle(hz) + "shot";
  }

 private:
  Layout l_;
};

std::string Job(const Layout& layout, const char* end) {
  const Writer w(layout);
  const double hi = 1.5, ht = 1.8, circleS = 10, circleA = 0;
  const double zeroS = Bearing(kS, kMark) - circleS, zeroA = Bearing(kA, kS) - circleA;
  const std::vector<std::string> lines = {
      w.Header(),
      "08KI" + w.Name(kS.name) + w.Coordinates(kS) + w.Length(kS.z) + "control",
      "02NM" + w.Name(kS.name) + w.Coordinates(kS) + w.Length(kS.z) + w.Length(hi),
      "03NM" + w.Length(ht),
      "07KI" + w.Name(kS.name) + w.Name(kMark.name) + w.Angle(Bearing(kS, kMark)) +
          w.Circle(circleS),
      "12SC" + w.Name(kS.name),
      w.Shot(1, kS, kA, zeroS, hi, ht),
      w.Shot(1, kS, kB, zeroS, hi, ht),
      w.Shot(2, kS, kB, zeroS, hi, ht),
      w.Shot(2, kS, kA, zeroS, hi, ht),
      "09MC" + w.Name(kS.name) + w.Name(kA.name) + w.Length(1) + w.Angle(100) + w.Angle(0),
      "08TP" + w.Name(kA.name) + w.Coordinates(kA) + w.Length(kA.z),
      "02NM" + w.Name(kA.name) + w.Coordinates(kA) + w.Length(kA.z) + w.Length(hi),
      "07KI" + w.Name(kA.name) + w.Name(kS.name) + std::string(layout.twoX ? 10 : 16, ' ') +
          w.Circle(circleA),
      w.Shot(1, kA, kS, zeroA, hi, ht),
      w.Shot(1, kA, kC, zeroA, hi, ht),
      "08TP" + w.Name(kC.name) + w.Coordinates(kC) + w.Length(kC.z),
  };
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

TEST(SdrSynthetic, EveryHeaderOptionGivesBackTheTruth) {
  for (bool twoX : {false, true})
    for (int angle : {1, 2, 3})
      for (int length : {1, 2})
        for (int order : {1, 2})
          for (int direction : {1, 2}) {
            const Layout layout{twoX, angle, length, order, direction};
            const std::string what = std::string(twoX ? "SDR2x" : "SDR33") + " angle " +
                                     std::to_string(angle) + " length " + std::to_string(length) +
                                     " order " + std::to_string(order) + " direction " +
                                     std::to_string(direction);
            const RawJob job = ReadSdrJob(Job(layout, twoX ? "\r\n" : "\n"), "job.sdr", {});
            ASSERT_EQ(job.book.known.size(), 1u) << what;
            // Its lengths as the file gives them, in its unit; the truth is in metres.
            ASSERT_EQ(job.lengthUnit, length == 2 ? LengthUnit::Foot : LengthUnit::Metre) << what;
            EXPECT_NEAR(job.book.known[0].xy.y * MetresPer(*job.lengthUnit), kS.y, 1e-3) << what;
            ASSERT_EQ(job.book.setups.size(), 2u) << what;
            EXPECT_EQ(job.book.setups[0].readings.size(), 5u) << what;  // the mark, A and B twice
            EXPECT_EQ(job.book.setups[0].readings[4].face, 2) << what;
            ASSERT_EQ(job.book.free.size(), 1u) << what;  // held on the mark
            ASSERT_EQ(job.checks.size(), 2u) << what;     // 08TP of A and of C
            for (const CollectorCheck& c : job.checks) {
              // The file's rounding: four decimals of a length in SDR2x.
              const double within = twoX ? 2e-3 : 1e-4;
              EXPECT_NEAR(c.computed.x, c.collector.x, within) << what << " " << c.point;
              EXPECT_NEAR(c.computed.y, c.collector.y, within) << what << " " << c.point;
              EXPECT_NEAR(*c.computedZ, *c.collectorZ, within) << what << " " << c.point;
            }
            // The book `traverse convert` writes adjusts to the file's doubles.
            Book raw = ToBook(job);
            Book book = ReadFieldBook(WriteFieldBook(raw, "job.sdr"), "job.book", {});
            ReduceBook(raw);
            ReduceBook(book);
            Settings settings;
            settings.rule = Rule::LeastSquares;
            const BookResult a = AdjustBook(raw, settings), b = AdjustBook(book, settings);
            // The station A in the network (oriented by the bearing held on
            // the mark, which has no coordinates), B and C its sideshots.
            ASSERT_EQ(a.points.size(), 1u) << what;
            ASSERT_EQ(b.points.size(), 1u) << what;
            const double metres = MetresPer(*job.lengthUnit);
            EXPECT_NEAR(a.points[0].point.xy.x * metres, kA.x, 2e-3) << what;
            EXPECT_NEAR(a.points[0].point.xy.y * metres, kA.y, 2e-3) << what;
            EXPECT_EQ(a.points[0].point.xy.x, b.points[0].point.xy.x) << what;
            EXPECT_EQ(a.points[0].point.xy.y, b.points[0].point.xy.y) << what;
            ASSERT_EQ(a.sideshots.size(), 2u) << what;
            ASSERT_EQ(b.sideshots.size(), 2u) << what;
            for (std::size_t i = 0; i < 2; ++i) {
              EXPECT_EQ(a.sideshots[i].xy.x, b.sideshots[i].xy.x) << what;
              EXPECT_EQ(a.sideshots[i].xy.y, b.sideshots[i].xy.y) << what;
            }
          }
}

TEST(SdrFraming, ChecksumOfTheBytesFramed) {
  const std::string body = Job({false, 1, 1, 1, 1}, "\r\n");
  unsigned sum = 0;
  for (char c : body) sum += static_cast<unsigned char>(c);
  char digits[8];
  std::snprintf(digits, sizeof digits, "%05u", sum % 65536);
  const RawJob good = ReadSdrJob("\x02\r\n" + body + "\x03" + digits + "\r\n", "job.sdr", {});
  EXPECT_EQ(good.book.setups.size(), 2u);
  for (const std::string& note : good.notes) EXPECT_EQ(note.find("checksum"), std::string::npos);
  std::snprintf(digits, sizeof digits, "%05u", (sum + 1) % 65536);
  const RawJob bad = ReadSdrJob("\x02\r\n" + body + "\x03" + digits + "\r\n", "job.sdr", {});
  EXPECT_NE(bad.notes.front().find("ETX checksum"), std::string::npos);
}

TEST(SdrFaults, NameLineAndColumns) {
  const std::string head = Writer({true, 1, 1, 1, 1}).Header() + "\n02NM0001\n";
  const std::vector<std::pair<std::string, const char*>> cases = {
      {head + "09F10001000210.000x    90.00000 0.00000\n", "09F1, columns 13-22 (slope distance)"},
      {head + "09F100010002  10.0000              0.00000\n",
       "09F1, columns 13-22 (slope distance): a slope distance needs its vertical reading"},
      {head + "09F100010002  10.0000  90.00000\n", "columns 33-42 (horizontal reading): expected"},
      {head + "09F100070002  10.0000  90.00000 0.00000\n", "columns 5-8 (from): '0007' is not"},
      {head + "09F200010002  10.0000  90.00000 0.00000\n", "a face 2 pointing read in the other"},
      {"00NMSDR33 V04-04.02\n", "00NM, columns 41-46 (units)"},
  };
  for (const auto& [text, message] : cases) {
    try {
      ReadSdrJob(text, "x", {});
      ADD_FAILURE() << "accepted: " << text;
    } catch (const JobError& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos)
          << text << "\n" << error.what();
    }
  }
}

}  // namespace
}  // namespace traverse
