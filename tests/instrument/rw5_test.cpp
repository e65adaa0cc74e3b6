// The RW5 reader on SurvPC's own files (data/README.md) and on files written
// here from true coordinates, whose answer the test knows.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "instrument/rw5.hpp"
#include "input/field_book.hpp"
#include "input/field_book_writer.hpp"
#include "instrument/raw_formats.hpp"

namespace traverse {
namespace {

std::string Sample(const std::string& name) {
  std::ifstream in(std::string(INSTRUMENT_DATA_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const CollectorCheck* CheckOf(const RawJob& job, const std::string& point) {
  for (const CollectorCheck& c : job.checks)
    if (c.point == point) return &c;
  return nullptr;
}

std::size_t Readings(const Book& book) {
  std::size_t n = 0;
  for (const BookSetup& s : book.setups) n += s.readings.size();
  return n;
}

TEST(Rw5Samples, ChainOfSetupsReproducesTheCollectorsCoordinates) {
  const RawJob job = ReadRw5Job(Sample("test.5.rw5"), "test.5.rw5", {});
  ASSERT_EQ(job.book.setups.size(), 6u);  // 6000, 6001, 6002 and 6006 three times
  EXPECT_EQ(job.book.setups[0].station, "6000");
  EXPECT_EQ(job.book.setups[0].readings[0].target, "6001");  // BD took BK's place
  EXPECT_DOUBLE_EQ(*job.book.setups[0].hi, 1.691);
  EXPECT_EQ(job.book.known.size(), 5u);  // SP 6006 and four more, never OC
  // Held: 6000-6001 (once for the reciprocal pair), 6002-6001, 6006-6002 (once for three BKs).
  ASSERT_EQ(job.book.free.size(), 3u);
  EXPECT_TRUE(job.book.free[0].fixed);
  // SS,OP6002,FP6006 gives OC,OP6006.
  const CollectorCheck* c = CheckOf(job, "6006");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->shotLine, 910);
  EXPECT_NEAR(c->computed.x, c->collector.x, 0.001);
  EXPECT_NEAR(c->computed.y, c->collector.y, 0.001);
  EXPECT_NEAR(*c->computedZ, *c->collectorZ, 0.001);  // EL is written to the mm
  // OC,OP6001 was stored, not computed: BD,OP6000,FP6001 misses it by what the
  // collector's own backsight check says (--Delta: HD-0.016, Z0.032).
  c = CheckOf(job, "6001");
  ASSERT_NE(c, nullptr);
  EXPECT_NEAR(std::hypot(c->computed.x - c->collector.x, c->computed.y - c->collector.y), 0.016,
              0.001);
  EXPECT_NEAR(*c->computedZ - *c->collectorZ, 0.032, 0.001);
  // 108 GPS records are noted, not read; 5279 shot again replaces its first shot.
  std::string notes;
  for (const std::string& n : job.notes) notes += n + "\n";
  EXPECT_NE(notes.find("108 GPS records"), std::string::npos) << notes;
  EXPECT_NE(notes.find("'5279' is shot again"), std::string::npos) << notes;

  Book book = job.book;
  ReduceBook(book);
  Settings settings;
  settings.rule = Rule::LeastSquares;
  const BookResult result = AdjustBook(book, settings);
  ASSERT_TRUE(result.network.has_value());
  EXPECT_GT(result.network->redundancy, 0);
}

// The book `traverse convert` writes adjusts to the same doubles as the file.
TEST(Rw5Samples, ConvertedBookAdjustsAlike) {
  Settings settings;
  settings.rule = Rule::LeastSquares;
  Book raw = ReadRw5(Sample("test.5.rw5"), "test.5.rw5", {});
  Book book = ReadFieldBook(WriteFieldBook(raw, "test.5"), "test.5.book", {});
  ReduceBook(raw);
  ReduceBook(book);
  const BookResult a = AdjustBook(raw, settings), b = AdjustBook(book, settings);
  ASSERT_EQ(a.points.size(), 3u);  // 6000, 6001, 6002
  ASSERT_EQ(a.points.size(), b.points.size());
  for (std::size_t i = 0; i < a.points.size(); ++i) {
    EXPECT_EQ(a.points[i].point.xy.x, b.points[i].point.xy.x) << a.points[i].point.name;
    EXPECT_EQ(a.points[i].point.xy.y, b.points[i].point.xy.y) << a.points[i].point.name;
  }
  ASSERT_EQ(a.sideshots.size(), b.sideshots.size());
}

TEST(Rw5Samples, ManySetupsAndSideshots) {
  const RawJob job = ReadRw5Job(Sample("test.4.rw5"), "test.4.rw5", {});
  EXPECT_EQ(job.book.setups.size(), 13u);
  EXPECT_EQ(job.book.known.size(), 13u);  // I1 ... I13, stored by the collector's resections
  EXPECT_EQ(Readings(job.book), 413u + 13u);  // every SS and each BK's pointing
  EXPECT_EQ(job.book.free.size(), 13u);       // a held bearing per setup to its control point
  const RawJob small = ReadRw5Job(Sample("ss.test.rw5"), "ss.test.rw5", {});
  ASSERT_EQ(small.book.setups.size(), 1u);
  EXPECT_EQ(small.book.setups[0].readings.size(), 4u);  // BD to G1 and three SS
}

// A job written from true coordinates: a station S on the origin of its
// circle's zero held on the bearing to a mark, shooting A and B, then set up
// on A (coordinates given by OC as the collector had them) to shoot C.
struct Truth {
  std::string name;
  double x, y, z;
};
const Truth kS{"S", 1000, 2000, 50}, kA{"A", 1080, 2060, 52.5}, kB{"B", 940, 2090, 48},
    kC{"C", 1150, 2010, 55};

double Bearing(const Truth& from, const Truth& to) {
  const double t = std::atan2(to.y - from.y, to.x - from.x) * 200 / std::numbers::pi;
  return t < 0 ? t + 400 : t;
}

// `gon` as the file writes it in `au`.
std::string AngleField(double gon, int au) {
  char text[40];
  if (au == 1) {
    std::snprintf(text, sizeof text, "%.6f", gon);
    return text;
  }
  double seconds = std::round(gon * 3240 * 1e4) / 1e4;
  const int d = static_cast<int>(seconds / 3600);
  seconds -= d * 3600.0;
  const int m = static_cast<int>(seconds / 60);
  seconds -= m * 60.0;
  std::snprintf(text, sizeof text, "%d.%02d%07.4f", d, m, seconds);
  std::string s = text;
  s.erase(s.find('.', s.find('.') + 1), 1);  // DDD.MMSSssss
  return s;
}

std::string Shot(const char* type, const Truth& at, const Truth& to, double circleZero, double hi,
                 double hr, int au, double perMetre, bool horizontal) {
  const double dx = to.x - at.x, dy = to.y - at.y;
  const double hd = std::hypot(dx, dy), dz = to.z + hr - at.z - hi;
  const double zenith = std::atan2(hd, dz) * 200 / std::numbers::pi;
  double hz = Bearing(at, to) - circleZero;
  if (hz < 0) hz += 400;
  char distance[40];
  std::snprintf(distance, sizeof distance, "%s%.6f", horizontal ? "HD" : "SD",
                (horizontal ? hd : std::hypot(hd, dz)) * perMetre);
  return std::string(type) + ",OP" + at.name + ",FP" + to.name + ",AR" + AngleField(hz, au) +
         ",ZE" + AngleField(zenith, au) + "," + distance + ",--note, with a comma";
}

std::string Coordinates(const Truth& p, double perMetre) {
  char text[96];
  std::snprintf(text, sizeof text, "N %.5f,E %.5f,EL%.5f", p.x * perMetre, p.y * perMetre,
                p.z * perMetre);
  return text;
}

TEST(Rw5Synthetic, EveryUnitCodeAndLineEndGivesBackTheTruth) {
  const Truth mark{"M", 1500, 2500, 0};
  for (int un : {0, 1, 2}) {
    for (int au : {0, 1}) {
      for (const char* end : {"\n", "\r\n", "\r", "\r\r\r\n"}) {
        const double perMetre = un == 1 ? 1 : 1 / MetresPer(un == 0 ? LengthUnit::Foot
                                                                     : LengthUnit::UsSurveyFoot);
        const double bc = 10;  // the circle is not set to the azimuth
        const double zeroS = Bearing(kS, mark) - bc;
        const double zeroA = Bearing(kA, kS) - bc;
        char ls[64];
        std::snprintf(ls, sizeof ls, "LS,HI%.4f,HR%.4f", 1.5 * perMetre, 1.8 * perMetre);
        const std::vector<std::string> lines = {
            "JB,NMsynthetic,DT01-01-2026",
            "MO,AD0,UN" + std::to_string(un) + ",SF1.00000000,EC0,EO0.0,AU" + std::to_string(au),
            "--a comment, with commas",
            "SP,PNS," + Coordinates(kS, perMetre) + ",--control",
            "OC,OPS," + Coordinates(kS, perMetre),
            ls,
            "BK,OPS,BPM,BS" + AngleField(Bearing(kS, mark), au) + ",BC" + AngleField(bc, au),
            Shot("SS", kS, kA, zeroS, 1.5, 1.8, au, perMetre, false),
            Shot("SS", kS, kB, zeroS, 1.5, 1.8, au, perMetre, true),
            "GPS,PN9,LA45.1,LN-66.0,EL1.0",
            "OC,OPA," + Coordinates(kA, perMetre),
            ls,
            "BK,OPA,BPS,BS,BC" + AngleField(bc, au),  // BS blank: from S's coordinates
            Shot("BD", kA, kS, zeroA, 1.5, 1.8, au, perMetre, false),
            Shot("FD", kA, kC, zeroA, 1.5, 1.8, au, perMetre, false),
            "OC,OPC," + Coordinates(kC, perMetre),
        };
        std::string text;
        for (const std::string& line : lines) text += line + end;
        const std::string what = "UN" + std::to_string(un) + " AU" + std::to_string(au) +
                                 " line end " + std::to_string(std::string(end).size());
        const RawJob job = ReadRw5Job(text, "synthetic.rw5", {});
        ASSERT_EQ(job.book.setups.size(), 2u) << what;
        // A CR alone ends a line, as an editor counts them.
        EXPECT_EQ(job.book.setups[1].readings[0].line, std::string(end) == "\r\r\r\n" ? 40 : 14)
            << what;
        EXPECT_EQ(job.book.setups[0].readings[1].description, "note, with a comma") << what;
        ASSERT_EQ(job.checks.size(), 2u) << what;  // A from S, C from A
        for (const CollectorCheck& c : job.checks) {
          EXPECT_NEAR(c.computed.x, c.collector.x, 1e-4) << what << " " << c.point;
          EXPECT_NEAR(c.computed.y, c.collector.y, 1e-4) << what << " " << c.point;
          EXPECT_NEAR(*c.computedZ, *c.collectorZ, 1e-4) << what << " " << c.point;
        }
        ASSERT_EQ(job.book.free.size(), 1u);  // S to the mark M; A's backsight S is known
        EXPECT_NEAR(job.book.readings[job.book.free[0].angle.readings.first], Bearing(kS, mark),
                    1e-7);
      }
    }
  }
}

TEST(Rw5Synthetic, NotesAreUtf8WhateverTheirBytes) {
  const std::string text =
      "MO,AD0,UN1,AU1\nSP,PNS,N 0,E 0,EL0\nOC,OPS\nBK,OPS,BPA,BS0,BC0\n"
      "SS,OPS,FPA,AR0,ZE100,SD10,--90\xB0 \xC2\xB0\n";
  EXPECT_EQ(ReadRw5Job(text, "x", {}).book.setups[0].readings[0].description, "90\xC2\xB0 \xC3\x82\xC2\xB0");
}

TEST(Rw5Faults, NameLineAndField) {
  const std::string head = "MO,AD0,UN1,AU0\nOC,OPS,N 0,E 0\n";
  struct Case {
    std::string text;
    int line;
    const char* message;
  };
  const std::vector<Case> cases = {
      {head + "SS,OPS,FPA,AR12.6000,ZE90,SD5\n", 3, "SS, field AR: "},  // 60 minutes
      {head + "SS,OPS,AR12.3000\n", 3, "SS, field FP: expected a point name"},
      {head + "SS,OPS,FPA,ZE90\n", 3, "expected a horizontal angle"},
      {head + "SS,OPX,FPA,AR1\n", 3, "SS, field OP: 'X' is not the station"},
      {head + "SS,OPS,FPA,AR1,SD-3,ZE90\n", 3, "SS, field SD: expected a positive distance"},
      {head + "SS,OPS,FPA,AR1,SD3\n", 3, "SS, field SD: a slope distance needs its zenith"},
      {head + "FR,OPS,FPA,AR1,ZE90,SD3\n", 3, "FR, field ZE: a reverse pointing"},
      {head + "SS,OPS,FPA,AR1,AR2\n", 3, "SS, field AR: given twice"},
      {"MO,UN7\n", 1, "MO, field UN: expected 0 (feet)"},
      {"OC,OPS\nSS,OPS,FPA,AR1\n", 2, "SS, field AR: the file gives no angle unit"},
      {"MO,AU0\nOC,OPS,N 1,E 1\n", 2, "OC, field N: the file gives no length unit"},
      {"MO,UN1,AU0\nSS,OPS,FPA,AR1\n", 2, "a shot before any OC or BK"},
      {"MO,UN1,AU0\nOC,OPS\nBK,OPS,BPA,BS10,BC0\nSS,OPS,FPA,AR1\nOC,OPA\nBK,OPA,BPS,BS20,BC0\n"
       "SS,OPA,FPS,AR1\n",
       6, "BK, field BS: the azimuth 20.000000 degrees from 'A' to 'S' disagrees"},
  };
  for (const Case& c : cases) {
    try {
      ReadRw5Job(c.text, "x", {});
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const JobError& error) {
      EXPECT_EQ(error.line(), c.line) << c.text;
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << c.text << "\n" << error.what();
    }
  }
}

TEST(CollectorDetection, ByContent) {
  EXPECT_EQ(DetectInstrumentFormat(Sample("test.5.rw5")), InputFormat::Rw5);
  EXPECT_EQ(DetectInstrumentFormat("--SurvCE\r\n--MO,AD0\r\nOC,OP1\r\n"), InputFormat::Rw5);
  EXPECT_EQ(DetectInstrumentFormat("\x02\r\n00NMSDR33 V04-04.02\r\n"), InputFormat::Sdr);
}

}  // namespace
}  // namespace traverse
