// The JobXML reader on a real GNSS job from Trimble Survey Controller
// (data/NOTICE.md) and on jobs written from true coordinates by
// tools/make_jobxml.py, whose answer the test knows.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "input/field_book.hpp"
#include "input/field_book_writer.hpp"
#include "instrument/jobxml.hpp"
#include "instrument/raw_formats.hpp"

namespace traverse {
namespace {

std::string Sample(const std::string& name) {
  std::ifstream in(std::string(INSTRUMENT_DATA_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Notes(const RawJob& job) {
  std::string notes;
  for (const std::string& n : job.notes) notes += n + "\n";
  return notes;
}

const NamedPoint* Known(const Book& book, const std::string& name) {
  for (const NamedPoint& p : book.known)
    if (p.name == name) return &p;
  return nullptr;
}

TEST(JobXmlSample, AGnssJobGivesItsPointsAsControlAndNoSetups) {
  const std::string text = Sample("KubaSzostak_JobXML_141108-KIERZKOWO.jxl");
  ASSERT_EQ(DetectInstrumentFormat(text), InputFormat::JobXml);
  const RawJob job = ReadJobXmlJob(text, "kierzkowo.jxl", {});
  EXPECT_EQ(job.book.title, "141108-KIERZKOWO");
  EXPECT_TRUE(job.book.setups.empty());
  // 387 PointRecords: 18 keyed in and deleted, 1301 keyed in again as a
  // check; 57 keyed-in points and 311 satellite positions, the collector's
  // 368 Reductions.
  EXPECT_EQ(job.book.known.size(), 368u);
  const NamedPoint* keyed = Known(job.book, "1301");
  ASSERT_NE(keyed, nullptr);
  EXPECT_EQ(keyed->xy.x, 6071774.5);  // the Normal record, not the Check
  EXPECT_EQ(keyed->xy.y, 6491828.07);
  EXPECT_FALSE(keyed->z);             // <Elevation/>
  const NamedPoint* gnss = Known(job.book, "263");
  ASSERT_NE(gnss, nullptr);
  EXPECT_EQ(gnss->xy.x, 6071771.2198244);
  EXPECT_EQ(gnss->xy.y, 6491949.4635436);
  EXPECT_EQ(*gnss->z, 34.223975375678);
  EXPECT_EQ(gnss->description, "KAM");
  const std::string notes = Notes(job);
  for (const char* said : {"18 records (the first on line ", "marked deleted",
                           "311 points (the first on line ", "satellite positioning",
                           "'1301' on line ", "is classified as a check",
                           "no total-station setups: its 368 points are read as control, and there "
                           "is nothing to adjust"})
    EXPECT_NE(notes.find(said), std::string::npos) << said << "\n" << notes;
}

// ---- synthetic jobs from true coordinates (tools/make_jobxml.py) ----

struct Truth {
  const char* name;
  double x, y, z;
};
constexpr Truth kTruth[] = {{"A", 5000, 3000, 120},      {"P1", 5120.5, 3060.25, 121.5},
                            {"P2", 5260.75, 3010.5, 119.25}, {"B", 5380, 3085.5, 122},
                            {"C", 5150, 3150, 118},          {"R", 4200, 2500, 95}};

const Truth& TruthOf(const std::string& name) {
  for (const Truth& t : kTruth)
    if (name == t.name) return t;
  throw std::runtime_error("no truth for " + name);
}

BookResult Adjusted(Book book) {
  ReduceBook(book);
  Settings settings;
  settings.rule = Rule::LeastSquares;
  return AdjustBook(std::move(book), settings);
}

// make_jobxml.py (ppm 12.5 still to apply) and --ppm-applied --ppm -8.
constexpr const char* kSynthetic[] = {"synthetic_ppm_to_apply.jxl", "synthetic_ppm_applied.jxl"};

TEST(JobXmlSynthetic, AdjustsBackToTheTruth) {
  for (const char* file : kSynthetic) {
    const RawJob job = ReadJobXmlJob(Sample(file), file, {});
    ASSERT_EQ(job.book.setups.size(), 5u) << file;  // P2 twice
    EXPECT_EQ(job.book.setups[4].station, "P2");
    EXPECT_EQ(*job.book.setups[4].hi, 1.612);
    EXPECT_EQ(job.book.firstUnit, AngleUnit::Gon);  // the display units
    // A: two rounds of R and P1 in both faces; P1: two rounds of A, P2 and
    // C, its MTA and its deleted pointing not among them.
    EXPECT_EQ(job.book.setups[0].readings.size(), 8u) << file;
    EXPECT_EQ(job.book.setups[1].readings.size(), 12u) << file;
    // The bearing from A to the mark R, held from its OrientationCorrection,
    // and those to the back points the file has no coordinates of: P2 to P1
    // (once for P2's two setups) and B to P2.
    ASSERT_EQ(job.book.free.size(), 3u);
    EXPECT_EQ(job.book.free[0].to, "R");
    EXPECT_NEAR(job.book.readings[job.book.free[0].angle.readings.first] * 0.9,
                std::atan2(-500.0, -800.0) * 180 / std::acos(-1.0) + 360, 1e-9);
    // The deleted B (a metre off) is not control.
    ASSERT_EQ(job.book.known.size(), 2u);
    EXPECT_EQ(Known(job.book, "B")->xy.x, 5380);
    const std::string notes = Notes(job);
    EXPECT_NE(notes.find("2 records (the first on line 33) marked deleted"), std::string::npos) << notes;
    EXPECT_NE(notes.find("1 mean-of-rounds (MTA) record (the first on line "), std::string::npos) << notes;

    // The collector's ComputedGrid on every foresight, from the collector's
    // orientation: A to P1 twice (two rounds), P1 to P2 and C, ...
    EXPECT_GE(job.checks.size(), 5u) << file;
    for (const CollectorCheck& c : job.checks) {
      EXPECT_NEAR(c.computed.x, c.collector.x, 0.001) << file << " " << c.point;
      EXPECT_NEAR(c.computed.y, c.collector.y, 0.001) << file << " " << c.point;
      EXPECT_NEAR(*c.computedZ, *c.collectorZ, 0.001) << file << " " << c.point;
    }

    const BookResult result = Adjusted(job.book);
    ASSERT_TRUE(result.network.has_value()) << file;
    std::size_t placed = 0;
    for (const auto& p : result.points) {
      const Truth& t = TruthOf(p.point.name);
      EXPECT_NEAR(p.point.xy.x, t.x, 1e-6) << file << " " << t.name;
      EXPECT_NEAR(p.point.xy.y, t.y, 1e-6) << file << " " << t.name;
      ++placed;
    }
    for (const auto& s : result.sideshots) {
      const Truth& t = TruthOf(s.name);
      EXPECT_NEAR(s.xy.x, t.x, 1e-6) << file << " " << t.name;
      EXPECT_NEAR(s.xy.y, t.y, 1e-6) << file << " " << t.name;
      ++placed;
    }
    EXPECT_EQ(placed, 4u) << file;  // P1, P2, the mark R and the sideshot C
  }
}

// The raw EDM distance takes its prism constant and the ppm once: the slope
// distance from A to P1 is the true one whether the file leaves the ppm to
// apply or not, and the note says what was applied.
TEST(JobXmlSynthetic, CorrectionsAreAppliedOnce) {
  const double hd = std::hypot(120.5, 60.25), dz = 121.5 + 1.6 - 120 - 1.552;
  for (const char* file : kSynthetic) {
    const RawJob job = ReadJobXmlJob(Sample(file), file, {});
    const SetupReading& toP1 = job.book.setups[0].readings[1];
    ASSERT_EQ(toP1.target, "P1");
    EXPECT_NEAR(*toP1.slope, std::hypot(hd, dz), 1e-8) << file;
    EXPECT_EQ(*toP1.ht, 1.6);
    EXPECT_FALSE(job.book.setups[0].readings[0].ht);  // R: <TargetHeight/>
    const std::string notes = Notes(job);
    const bool toApply = std::string(file) == kSynthetic[0];
    EXPECT_NE(notes.find(toApply ? "The setup on 'A' (line 57): prism constant -17.5 mm (TargetRecord, "
                                   "line 47) and ppm +12.5 (AtmosphereRecord, line 9) applied to its raw "
                                   "EDM distances."
                                 : "The setup on 'A' (line 57): prism constant -17.5 mm (TargetRecord, "
                                   "line 47) applied to its raw EDM distances; the ppm -8.0 "
                                   "(AtmosphereRecord, line 9) taken as applied by the instrument"),
              std::string::npos)
        << notes;
  }
}

// The book `traverse convert` writes adjusts to the same doubles as the file.
TEST(JobXmlSynthetic, ConvertedBookAdjustsAlike) {
  for (const char* file : kSynthetic) {
    const Book raw = ReadJobXml(Sample(file), file, {});
    const std::string text = WriteFieldBook(raw, file);
    // R's target has no height (<TargetHeight/>): the book says so after P1's.
    EXPECT_NE(text.find(" ht=none \"TRAV STN\""), std::string::npos) << text;
    const Book book = ReadFieldBook(text, "converted.book", {});
    for (std::size_t s = 0; s < raw.setups.size(); ++s)
      for (std::size_t k = 0; k < raw.setups[s].readings.size(); ++k)
        EXPECT_EQ(raw.setups[s].readings[k].ht, book.setups[s].readings[k].ht) << s << " " << k;
    const BookResult a = Adjusted(raw), b = Adjusted(book);
    ASSERT_EQ(a.points.size(), b.points.size());
    for (std::size_t i = 0; i < a.points.size(); ++i) {
      EXPECT_EQ(a.points[i].point.xy.x, b.points[i].point.xy.x) << a.points[i].point.name;
      EXPECT_EQ(a.points[i].point.xy.y, b.points[i].point.xy.y) << a.points[i].point.name;
    }
    ASSERT_EQ(a.sideshots.size(), b.sideshots.size());
    for (std::size_t i = 0; i < a.sideshots.size(); ++i)
      EXPECT_EQ(a.sideshots[i].xy.x, b.sideshots[i].xy.x);
  }
}

// A fault names the record, the element and its line.
TEST(JobXmlFaults, NameTheLineRecordAndElement) {
  const std::string good = Sample(kSynthetic[0]);
  // `good` with its first `from` made `to`; the line of `to`.
  const auto edit = [&](const std::string& from, const std::string& to, std::string& text) {
    text = good;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    int line = 1;
    for (std::size_t i = 0; i < at; ++i) line += text[i] == '\n';
    return line;
  };
  struct Case {
    std::string from, to;
    const char* message;
  };
  const Case cases[] = {
      {"<HorizontalCircle>", "<HorizontalCircle>1O", "PointRecord 'R', HorizontalCircle: the value: '1O"},
      {"<StationID>00000009", "<StationID>0000009x", "PointRecord 'R', StationID: no StationRecord has the ID '0000009x'"},
      {"<Face>Face1", "<Face>Face3", "PointRecord 'R', Face: expected Face1, Face2 or FaceNull, found 'Face3"},
      {"<EDMDistance>", "<EDMDistance>-", "PointRecord 'R', EDMDistance: expected a positive distance"},
      {"<VerticalCircle>9", "<VerticalCircle>27", "VerticalCircle: a face 1 pointing read in the other face"},
      {"<BackSight>R", "<BackSight>A", "BackBearingRecord, BackSight: the back point is the station itself"},
      {"<North>5000.0</North>", "<North/>", "PointRecord 'A', North: expected a coordinate, found none"},
      {"<StationName>A", "<StationName>", "StationRecord, StationName: expected a point name"},
      {"<ApplyPPMToRawDistances>true", "<ApplyPPMToRawDistances>yes", "ApplyPPMToRawDistances: expected true or false"},
      {"ID=\"00000004\"", "ID=\"00000003\"", "PointRecord 'B': the ID '00000003' is given again (first on line 15)"},
      {"<TargetID>00000006", "<TargetID>00000002", "TargetID: no TargetRecord has the ID '00000002'"},
      {"</Name>\r\n      <Code>TRAV", "</Nam>\r\n      <Code>TRAV", "the XML is not well-formed"},
  };
  for (const Case& c : cases) {
    std::string text;
    const int line = edit(c.from, c.to, text);
    try {
      ReadJobXmlJob(text, "x.jxl", {});
      ADD_FAILURE() << "accepted: " << c.to;
    } catch (const JobError& error) {
      EXPECT_EQ(error.line(), line) << c.to << ": " << error.what();
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.to << "\n" << error.what();
    }
  }
  // Another root.
  try {
    ReadJobXmlJob("<?xml version=\"1.0\"?>\n<LandXML/>", "x.jxl", {});
    ADD_FAILURE();
  } catch (const JobError& error) {
    EXPECT_EQ(error.line(), 2);
    EXPECT_STREQ(error.what(), "the root element is <LandXML>, not <JOBFile>");
  }
}

// Names are UTF-8: as pugixml gives them where the file is UTF-8 or declares
// its encoding, else each byte read in --encoding's code page.
TEST(JobXmlText, NamesAreUtf8WhateverTheirBytes) {
  const auto nameOf = [](const std::string& declaration, TextEncoding encoding) {
    const std::string text = declaration + "<JOBFile><FieldBook><PointRecord><Name>P\xE9</Name>"
                             "<Grid><North>1</North><East>2</East></Grid></PointRecord></FieldBook></JOBFile>";
    RawOptions options;
    options.encoding = encoding;
    return ReadJobXmlJob(text, "x.jxl", options).book.known.at(0).name;
  };
  EXPECT_EQ(nameOf("", TextEncoding::Latin1), "P\xC3\xA9");
  EXPECT_EQ(nameOf("", TextEncoding::Cp1251), "P\xD0\xB9");
  EXPECT_EQ(nameOf("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", TextEncoding::Cp1251), "P\xC3\xA9");
}

}  // namespace
}  // namespace traverse
