#include "app/command_line.hpp"

#include <malloc.h>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <unordered_map>
#include "app/cli11.hpp"

#include "adjustment/book.hpp"
#include "adjustment/reduction.hpp"
#include "adjustment/job_error.hpp"
#include "input/answers.hpp"
#include "numbers/shortest_text.hpp"
#include "input/field_book.hpp"
#include "input/grid_record.hpp"
#include "input/field_book_writer.hpp"
#include "input/control_points.hpp"
#include "input/landxml_points.hpp"
#include "instrument/raw_formats.hpp"
#include "adjustment/rules.hpp"
#include "platform/platform.hpp"
#include "report/writers.hpp"

#ifndef TRAVERSE_VERSION
#define TRAVERSE_VERSION "unknown"
#endif

namespace traverse {
namespace {

// A format written whole, handed to the sink at once.
template <std::string (*Write)(const BookResult&, const ReportOptions&)>
void Whole(const BookResult& book, const ReportOptions& options, const ReportSink& sink) {
  sink(Write(book, options));
}

// The formats of the report, by the name --format takes.
struct Format {
  const char* name;
  void (*write)(const BookResult&, const ReportOptions&, const ReportSink&);
};
constexpr Format formats[] = {{"text", WriteText},       {"csv", Whole<FormatCsv>},
                              {"json", WriteJson}, {"svg", Whole<FormatSvg>},
                              {"dxf", Whole<FormatDxf>},   {"html", WriteHtml},
                              {"geojson", WriteGeoJson},   {"landxml", WriteLandXml}};

// What `traverse adjust` was asked for, as parsed.
struct AdjustRequest {
  std::string input = "-";
  std::string output;
  const Format* format = &formats[0];
  int decimals = 3;
  std::string angularTolerance;
  std::string sigmaLength;
  std::optional<double> sigmaAngle;
  bool noEndOrientation = false;
  bool open = false;
  bool unitGiven = false;
  std::string arguments;  // the options as given, for the page's header
  std::string columns;    // CSV's, as letters
  std::string points = "new";
  std::optional<double> heightTolerance;  // mm per sqrt(km), field books only
  std::optional<double> refraction;       // field books only
  double plotScale = 500;                 // DXF: 1:N
  bool codeLayers = false;                // DXF: a layer per sideshot code
  std::string grid;                       // --grid, as typed
  std::optional<geodesy::GridDefinition> gridDefinition;
  std::optional<double> meanHeight;       // --mean-height
  bool scaleGiven = false;
  std::optional<InputFormat> inputFormat;  // --input-format; else judged by content
  RawOptions raw;                         // for instrument files, alone or in a book
  std::optional<LengthUnit> lengthUnit;   // --length-unit: the job's, whatever its input says
  std::string bearingStyle = "azimuth";   // text and HTML: azimuth or quadrant
  std::string relativeTolerance;          // MM,PPM, as typed
  std::string control;                    // --control: known points for an instrument file
};

// The CSV columns typed as `letters`, with LAT and LON for B and L and any
// commas or blanks between them, as the writer's letters; false where a
// letter is unknown or repeated, or none is given.
bool ColumnLetters(std::string_view typed, std::string& letters) {
  letters.clear();
  for (std::size_t i = 0; i < typed.size();) {
    const std::string_view rest = typed.substr(i);
    const auto starts = [&rest](std::string_view word) {
      return rest.size() >= word.size() &&
             std::equal(word.begin(), word.end(), rest.begin(), [](char w, char r) {
               return w == std::toupper(static_cast<unsigned char>(r));
             });
    };
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(typed[i])));
    std::size_t length = 1;
    if (starts("LAT") || starts("LON")) {
      letter = starts("LAT") ? 'B' : 'L';
      length = 3;
    }
    i += length;
    if (letter == ',' || letter == ' ') continue;
    if (std::string_view("PNEZDBL").find(letter) == std::string_view::npos ||
        letters.find(letter) != std::string::npos)
      return false;
    letters += letter;
  }
  return !letters.empty();
}

// Every byte of `text` to a standard handle; false when the system refused.
bool WriteStandard(platform::StdHandle which, std::string_view text) {
  platform::Platform& system = platform::Current();
  std::int32_t code = 0;
  const platform::Handle handle = system.GetStdHandle(which, code);
  if (handle == platform::InvalidHandle) return false;
  while (!text.empty()) {
    const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), 1u << 20));
    const platform::Transfer done = system.Write(handle, text.data(), size);
    if (done.code != 0 || done.bytes == 0) return false;
    text.remove_prefix(done.bytes);
  }
  return true;
}

int Fail(const std::string& message) {
  WriteStandard(platform::StdHandle::Error, "traverse: " + message + "\n");
  return ExitBadInput;
}

// The whole of standard input, read through the platform's own reads (no
// text-mode translation on any system).
bool ReadStandardInput(std::string& text) {
  platform::Platform& system = platform::Current();
  std::int32_t code = 0;
  const platform::Handle handle = system.GetStdHandle(platform::StdHandle::Input, code);
  if (handle == platform::InvalidHandle) return false;
  char buffer[65536];
  for (;;) {
    const platform::Transfer done = system.Read(handle, buffer, sizeof buffer);
    if (done.code != 0) return false;
    if (done.bytes == 0) return true;
    text.append(buffer, done.bytes);
  }
}

bool ReadOptionNumber(const std::string& option, const std::string& text, double least,
                      bool positive, double& value, std::string& message);

// Every byte of the file at `path` into `text`; "" or why it could not be
// read, in our own words on every system.
std::string ReadWholeFile(const std::string& path, std::string& text) {
  namespace fs = std::filesystem;
  std::error_code code;
  const fs::file_status status = fs::status(path, code);
  if (status.type() == fs::file_type::not_found) return "No such file or directory";
  if (status.type() == fs::file_type::directory) return "Is a directory";
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) return errno == EACCES ? "Permission denied" : "cannot be opened";
  // In blocks, into room made once where the size is known: taken a byte at
  // a time, the text of a large book cost more than reading it.
  text.clear();
  if (status.type() == fs::file_type::regular) {
    const std::uintmax_t size = fs::file_size(path, code);
    if (!code) text.reserve(static_cast<std::size_t>(size));
  }
  char block[1 << 16];
  while (file.read(block, sizeof block) || file.gcount() > 0)
    text.append(block, static_cast<std::size_t>(file.gcount()));
  if (file.bad()) return "cannot be read to its end";
  return "";
}

// "A" or "A,B": one or two non-negative numbers separated by a comma.
bool ParsePair(const std::string& text, double& first, double& second) {
  const std::size_t comma = text.find(',');
  std::string ignored;
  if (!ReadOptionNumber("", text.substr(0, comma), 0, false, first, ignored)) return false;
  return comma == std::string::npos ||
         ReadOptionNumber("", text.substr(comma + 1), 0, false, second, ignored);
}

// Writes what `text` writes to `path` through a temporary file of its own beside it,
// forced to the disk and then renamed over `path`: two runs writing the same
// file never mix their bytes, and a crash leaves the old file or the new one,
// whole, never a half-written one that looks complete.
bool WriteFileWhole(const std::string& path, const platform::TextWriter& text, std::string& error) {
  namespace fs = std::filesystem;
  std::string temporary;
  bool created = false;
  for (int attempt = 0; attempt < 100 && !created; ++attempt) {
    temporary = path + "." + std::to_string(platform::ProcessNumber()) + "-" +
                std::to_string(attempt) + ".partial";
    created = platform::WriteNewFileDurably(temporary, text);
    std::error_code exists;
    if (!created && !fs::exists(temporary, exists)) break;  // not a name clash: a real fault
  }
  if (!created) {
    error = "cannot write '" + path + "' (nor a file beside it)";
    return false;
  }
  std::error_code code;
  fs::rename(temporary, path, code);
  if (code) {
    fs::remove(temporary, code);
    error = "cannot replace '" + path + "'";
    return false;
  }
  return true;
}

// An option's number, checked in the surveyor's terms; the message names
// the option and what was found. `least` is the smallest allowed value and
// `positive` whether it is excluded.
bool ReadOptionNumber(const std::string& option, const std::string& text, double least,
                      bool positive, double& value, std::string& message) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const std::from_chars_result read = std::from_chars(first, last, value);
  const bool number = first != last && read.ec == std::errc() && read.ptr == last &&
                      std::isfinite(value);
  if (number && (positive ? value > least : value >= least)) return true;
  std::string shown = text.substr(0, 40);
  if (text.size() > 40) shown += "...";
  if (positive && least == 0) {
    message = option + ": must be a positive number, found '" + shown + "'";
  } else {
    message = option + ": must be a number " + (positive ? "above " : "of at least ") +
              ShortestText(least) + ", found '" + shown + "'";
  }
  return false;
}

// The a-priori sigma of an angle, given in the small unit of the report's
// unit (cc or arc seconds), in gon.
void SetAngleSigma(Settings& settings, const AdjustRequest& request) {
  settings.sigmas.angleGon = SmallUnitToGon(
      request.sigmaAngle.value_or(settings.unit == AngleUnit::Gon ? 10 : 3), settings.unit);
}

// What the writers are told of the run.
ReportOptions ReportOptionsOf(const AdjustRequest& request) {
  ReportOptions options;
  options.decimals = request.decimals;
  options.version = TRAVERSE_VERSION;
  options.arguments = request.arguments;
  options.plotScale = request.plotScale;
  options.columns = request.columns;
  options.allPoints = request.points == "all";
  options.sideshots = request.points == "sideshots";
  options.codeLayers = request.codeLayers;
  options.quadrant = request.bearingStyle == "quadrant";
  return options;
}

// The report of an answer file, or why there is none.
int AdjustAnswers(const std::string& text, Job& job, const AdjustRequest& request,
                  BookResult& report, bool& passed) {
  if (request.heightTolerance || request.refraction) {
    WriteStandard(platform::StdHandle::Error,
                  "traverse: --height-tolerance and --refraction need a field book; " +
                      job.source + " is an answer file\n");
    return ExitUsage;
  }
  if (request.gridDefinition || request.meanHeight) {
    WriteStandard(platform::StdHandle::Error, "traverse: --grid and --mean-height need a field book; " +
                                                  job.source + " is an answer file\n");
    return ExitUsage;
  }
  Adjustment result;
  try {
    // An answer file's lengths are in the unit of --length-unit, else metres.
    ReadAnswers(text, job);
    result = Adjust(job);
  } catch (const JobError& error) {
    const std::string where =
        error.line() > 0 ? job.source + ":" + std::to_string(error.line()) : job.source;
    return Fail(where + ": " + error.what());
  }
  report = AnswerFileResult(job, result);
  passed = result.TolerancesPassed();
  return ExitSuccess;
}

// The folder of the book, for the paths it names; none for standard input,
// whose paths are relative to the working folder.
std::string ResolveBesideBook(const std::string& book, const std::string& written) {
  namespace fs = std::filesystem;
  const fs::path path(written);
  // A path from the root ("/data/job.gsi") is no path beside the book on
  // Windows either, where it lacks only its drive.
  if (book == "-" || path.is_absolute() || path.has_root_directory()) return written;
  return (fs::path(book).parent_path() / path).string();
}

// The report of a field book, or why there is none.
// Refuses an output that is a file the run reads: the report would replace
// it. One line and the usage exit code.
int RefuseOutput(const AdjustRequest& request, const std::string& what) {
  WriteStandard(platform::StdHandle::Error, "traverse: -o '" + request.output + "' is " + what +
                                                ": the report would replace it\n");
  return ExitUsage;
}

// The identity of the file -o names, where it names one that exists.
std::optional<platform::FileIdentity> OutputIdentity(const AdjustRequest& request) {
  platform::FileIdentity identity;
  if (request.output.empty() || request.output == "-" ||
      !platform::IdentifyFile(request.output, identity))
    return std::nullopt;
  return identity;
}

// An instrument file's book, its faults naming `path`: `raw FILE` in a book.
Book ReadRawFile(const std::string& path, std::string_view text, const RawOptions& options) {
  const std::optional<InputFormat> format = DetectInstrumentFormat(text);
  if (!format)
    throw JobError(path, 0, "is no instrument file that traverse reads (" + InputFormatNames() + ")");
  try {
    return ReadInstrumentFile(*format, text, path, options);
  } catch (const JobError& error) {
    if (!error.file().empty()) throw;
    throw JobError(path, error.line(), error.what());
  }
}

// `--control FILE`: its points stand in for the instrument file's control of
// the same name, and join it where the file has none of that name.
void ReplaceControl(Book& book, const std::string& path, const FileAccess& files) {
  std::string text;
  if (const std::string reason = files.read(path, text); !reason.empty())
    throw JobError(0, "--control: cannot read '" + path + "': " + reason);
  std::vector<NamedPoint> control =
      IsXml(text) ? ReadLandXmlPoints(text, path) : ReadControlPoints(text, path);
  std::unordered_map<std::string, std::size_t> known;
  for (std::size_t i = 0; i < book.known.size(); ++i) known.emplace(book.known[i].name, i);
  for (NamedPoint& point : control) {
    if (const auto at = known.find(point.name); at != known.end()) {
      book.notes.push_back("the known point '" + point.name + "' is taken from " + path +
                           " (line " + std::to_string(point.line) + "), not from the file");
      book.known[at->second] = std::move(point);
    } else {
      known.emplace(point.name, book.known.size());
      book.known.push_back(std::move(point));
    }
  }
}

// A grid's coordinates are in its own unit: a job in another is refused
// rather than converted, for a state plane grid's coordinates are published
// in its unit, and a job in international feet on a grid in US survey feet
// (or the other way) is the mistake of 2 ppm that converting would hide.
void CheckGridUnit(const geodesy::GridDefinition& grid, const Book& book, LengthUnit unit,
                   bool fromCommandLine) {
  const std::optional<LengthUnit> own = LengthUnitOfGrid(grid.unit);
  const std::string name = "the grid " + grid.name;
  const int line = fromCommandLine ? 0 : book.gridLine;
  if (!own)
    throw JobError(line, name + " is in a unit of " + ShortestText(grid.unit) +
                             " m, which is none of m, ft and usft");
  if (*own == unit) return;
  const std::string whose = book.lengthStated && book.lengthLine > 0
                                ? "the book's (its length record on line " +
                                      std::to_string(book.lengthLine) + ")"
                                : book.lengthStated ? "the file's" : "the job's";
  throw JobError(line, name + " is in " + LengthUnitWords(*own) + " and the lengths are in " +
                           LengthUnitWords(unit) + ", " + whose +
                           ": a grid's coordinates are in its own unit (give 'length " +
                           LengthUnitName(*own) + "' or --length-unit " + LengthUnitName(*own) +
                           ")");
}

// The report of a field book, or of an instrument file (`instrument`) read
// into one, or why there is none.
int AdjustFieldBook(const std::string& text, const Job& job, const AdjustRequest& request,
                    std::optional<InputFormat> instrument, BookResult& report, bool& passed) {
  if (request.noEndOrientation || request.open) {
    WriteStandard(platform::StdHandle::Error,
                  std::string("traverse: ") + (request.open ? "--open" : "--no-end-orientation") +
                      " does not apply to a field book: the book states each traverse's kind\n");
    return ExitUsage;
  }
  FileAccess files;
  files.resolve = [&](const std::string& written) {
    return ResolveBesideBook(request.input, written);
  };
  // A control file that is the output is refused before it is read.
  const std::optional<platform::FileIdentity> output = OutputIdentity(request);
  std::string controlIsOutput;
  files.read = [&](const std::string& path, std::string& contents) -> std::string {
    platform::FileIdentity identity;
    if (output && platform::IdentifyFile(path, identity) && identity == *output) {
      controlIsOutput = path;
      return "it is the output";
    }
    return ReadWholeFile(path, contents);
  };
  files.raw = [&](const std::string& path, std::string_view contents) {
    return ReadRawFile(path, contents, request.raw);
  };
  // A book without a `length` record is in the unit of --length-unit, else
  // of the command line's grid, else of its own grid in feet, else metres.
  files.length = request.lengthUnit;
  if (!files.length && request.gridDefinition)
    files.length = LengthUnitOfGrid(request.gridDefinition->unit);
  const double refraction = request.refraction.value_or(StandardRefraction);

  BookResult result;
  try {
    Book book = instrument ? ReadInstrumentFile(*instrument, text, job.source, request.raw)
                           : ReadFieldBook(text, job.source, files);
    // A job of coordinates alone (a GNSS survey) is read, not adjusted: say
    // so in its own terms rather than as a book without traverses.
    if (instrument && book.setups.empty() && book.free.empty())
      throw JobError(0, "the " + FormatTitle(*instrument) + " file holds no total-station setups: its " +
                            std::to_string(book.known.size()) + " point" +
                            (book.known.size() == 1 ? " is" : "s are") +
                            " control only, and there is nothing to adjust ('traverse convert' "
                            "writes them as a field book)");
    const LengthUnit unit = request.lengthUnit.value_or(book.length);
    if (book.length != unit) {
      book.notes.push_back(std::string("The ") + (instrument ? "file's" : "book's") + " lengths in " +
                           LengthUnitWords(book.length) + " are converted into " +
                           LengthUnitWords(unit) + " (--length-unit).");
      ConvertLengths(book, unit);
    }
    // The control file is in the job's unit, as a book's points FILE is.
    if (!request.control.empty()) {
      if (!instrument)
        throw JobError(0, "--control is for instrument files: a field book names its control with "
                          "'points FILE'");
      ReplaceControl(book, request.control, files);
    }
    ReduceBook(book, refraction);
    // The adjustment reads each setup's reduction: its pointings, most of a
    // large book of setups, give their room to the network's.
    for (BookSetup& setup : book.setups) std::vector<SetupReading>().swap(setup.readings);
    Settings settings = job.settings;
    SetLengthUnit(settings, unit);
    settings.lengthGiven = request.lengthUnit || (book.lengthStated && book.lengthLine > 0);
    if (!request.unitGiven) settings.unit = book.firstUnit.value_or(AngleUnit::Gon);
    // The command line's grid stands in for the book's.
    if (request.gridDefinition) {
      settings.grid = GridSettings{*request.gridDefinition, {}, {}};
    } else if (book.grid) {
      settings.grid = GridSettings{*book.grid, {}, {}};
    }
    if (settings.grid) {
      if (request.scaleGiven)
        throw JobError(book.gridLine, "--scale does not apply on a grid: each distance takes its "
                                      "own height and line scale factors");
      settings.grid->geoid = book.geoid;
      settings.grid->meanHeight = request.meanHeight;
      CheckGridUnit(settings.grid->definition, book, unit, request.gridDefinition.has_value());
    } else if (request.meanHeight || book.geoid) {
      throw JobError(0, std::string(request.meanHeight ? "--mean-height" : "the geoid record") +
                            " needs a grid (a grid record in the book, or --grid)");
    }
    SetAngleSigma(settings, request);
    settings.heightTolerance = request.heightTolerance;
    result = AdjustBook(std::move(book), settings);
  } catch (const JobError& error) {
    if (!controlIsOutput.empty())
      return RefuseOutput(request, "the control file '" + controlIsOutput + "' the book names");
    const std::string file = error.file().empty() ? job.source : error.file();
    const std::string where = error.line() > 0 ? file + ":" + std::to_string(error.line()) : file;
    return Fail(where + ": " + error.what());
  } catch (const std::exception& error) {
    // A case the reader let through and the adjustment cannot take: still
    // one line and exit code 1, never a crash report.
    return Fail(job.source + ": the book cannot be adjusted: " + error.what());
  }
  result.refraction = refraction;
  passed = result.TolerancesPassed();
  report = std::move(result);
  return ExitSuccess;
}

// The format of an input by its content: an instrument file by its first
// record, else a field book by its first word, else answers.
InputFormat FormatOf(std::string_view text) {
  if (const std::optional<InputFormat> instrument = DetectInstrumentFormat(text)) return *instrument;
  return IsFieldBook(text) ? InputFormat::Book : InputFormat::Answers;
}

// What the request asks of a grid that the result has none of ("--format
// geojson", "--columns B and L"), or "".
std::string NeedsGrid(const AdjustRequest& request, const BookResult& result) {
  if (result.grid) return "";
  if (std::string_view(request.format->name) == "geojson") return "--format geojson";
  if (std::string_view(request.format->name) == "csv" &&
      request.columns.find_first_of("BL") != std::string::npos)
    return "--columns B and L";
  return "";
}

int RunAdjust(Job& job, const AdjustRequest& request) {
#if defined(__GLIBC__)
  // A run this short pays more for page faults than for anything it
  // computes: large blocks from the heap, whose freed pages the next block
  // reuses, and no heap given back to the system, rather than fresh mapped
  // pages for every large report text.
  mallopt(M_MMAP_THRESHOLD, 1 << 26);
  mallopt(M_TRIM_THRESHOLD, 1 << 26);
#endif
  if (const std::optional<platform::FileIdentity> output = OutputIdentity(request)) {
    platform::FileIdentity input;
    if (platform::IdentifyFile(request.input == "-" ? "" : request.input, input) && input == *output)
      return RefuseOutput(request, request.input == "-" ? "standard input" : "the input itself");
  }
  std::string input;
  if (request.input == "-") {
    job.source = "standard input";
    if (!ReadStandardInput(input)) return Fail("cannot read standard input");
  } else {
    job.source = request.input;
    const std::string reason = ReadWholeFile(request.input, input);
    if (!reason.empty()) return Fail("cannot read '" + request.input + "': " + reason);
  }

  BookResult result;
  bool passed = true;
  const InputFormat format = request.inputFormat ? *request.inputFormat : FormatOf(input);
  const int status =
      format == InputFormat::Answers ? AdjustAnswers(input, job, request, result, passed)
      : format == InputFormat::Book
          ? AdjustFieldBook(input, job, request, std::nullopt, result, passed)
          : AdjustFieldBook(input, job, request, format, result, passed);
  if (status != ExitSuccess) return status;
  if (const std::string need = NeedsGrid(request, result); !need.empty()) {
    WriteStandard(platform::StdHandle::Error,
                  "traverse: " + need + " needs a grid (a grid record in the book, or --grid): " +
                      "latitude and longitude come from the grid's projection\n");
    return ExitUsage;
  }

  // The report goes out as it is written: a large book's is never held whole.
  const ReportOptions options = ReportOptionsOf(request);
  const auto write = [&](const ReportSink& sink) { request.format->write(result, options, sink); };
  if (request.output.empty() || request.output == "-") {
    bool written = true;
    write([&](std::string_view piece) {
      written = written && WriteStandard(platform::StdHandle::Output, piece);
    });
    if (!written) return Fail("cannot write standard output");
  } else {
    std::string error;
    if (!WriteFileWhole(request.output, write, error)) return Fail(error);
  }
  if (!passed) {
    WriteStandard(platform::StdHandle::Error, "traverse: a tolerance is exceeded\n");
    return ExitTolerance;
  }
  return ExitSuccess;
}

// `traverse convert`: the book an instrument file means, or why there is none.
int RunConvert(const AdjustRequest& request) {
  std::string input, source = request.input;
  if (request.input == "-") {
    source = "standard input";
    if (!ReadStandardInput(input)) return Fail("cannot read standard input");
  } else {
    const std::string reason = ReadWholeFile(request.input, input);
    if (!reason.empty()) return Fail("cannot read '" + request.input + "': " + reason);
  }
  if (const std::optional<platform::FileIdentity> output = OutputIdentity(request)) {
    platform::FileIdentity identity;
    if (request.input != "-" && platform::IdentifyFile(request.input, identity) && identity == *output)
      return RefuseOutput(request, "the input itself");
  }
  const std::optional<InputFormat> format =
      request.inputFormat ? request.inputFormat : DetectInstrumentFormat(input);
  if (!format || !IsInstrumentFormat(*format)) {
    WriteStandard(platform::StdHandle::Error,
                  "traverse: " + source + " is " +
                      (format ? "a " + FormatTitle(*format) : std::string("no instrument file")) +
                      ": convert reads instrument files (" + InputFormatNames() + ")\n");
    return ExitBadInput;
  }
  std::string book;
  try {
    Book read = ReadInstrumentFile(*format, input, source, request.raw);
    if (request.lengthUnit && read.length != *request.lengthUnit) {
      read.notes.push_back(std::string("The file's lengths in ") + LengthUnitWords(read.length) +
                           " are converted into " + LengthUnitWords(*request.lengthUnit) +
                           " (--length-unit).");
      ConvertLengths(read, *request.lengthUnit);
    }
    book = WriteFieldBook(read,
                          "The field book of " + source + " (" + FormatTitle(*format) +
                              "), written by traverse " TRAVERSE_VERSION ".");
  } catch (const JobError& error) {
    return Fail(error.line() > 0 ? source + ":" + std::to_string(error.line()) + ": " + error.what()
                                 : source + ": " + error.what());
  }
  if (request.output.empty() || request.output == "-") {
    if (!WriteStandard(platform::StdHandle::Output, book)) return Fail("cannot write standard output");
    return ExitSuccess;
  }
  std::string error;
  if (!WriteFileWhole(request.output, [&](const std::function<void(std::string_view)>& sink) { sink(book); }, error))
    return Fail(error);
  return ExitSuccess;
}

const char* const convertHelp = R"(
FILE is an instrument file, recognised by its content (--input-format forces
a format). Leica GSI-8 and GSI-16 are read: a setup starts at a code block
(WI 41 with 42 the station, 43 the instrument height) or at a line with the
station's coordinates (84-86) or instrument height (88); the lines after it
with a circle reading (21) are its pointings (22 zenith, 31 slope and 32
horizontal distance, 87 target height, 71-79 code and remarks). Every units
digit is read: m at mm, 0.1 mm, 0.01 mm; ft at 1/1000 and 1/10000; gon,
degrees, DDDMMSSs and mil. Lines of coordinates (81-83) with no observation
are control; coordinates on observations are the instrument's, a check.

Carlson RW5 (SurvCE, SurvPC, TDS) and Sokkia SDR33/SDR2x are read too: RW5's
SP and SDR's 08 KI/CO are control; OC, BK, LS and the shots SS, TR, BD, BR,
FD, FR (SDR: 02, 03, 07, 09 F1/F2) are setups and pointings; a back azimuth to
a point without coordinates is held as a bearing; OC and 08 TP coordinates
are the collector's, a check listed in the notes against the radial
computation. Units come from the file (RW5 MO, SDR header), else --unit and
--length-unit; lengths stay in the file's unit (see the manual, COLLECTOR FILES).

Trimble JobXML (.jxl) is read with its IDs: StationRecord a setup,
BackBearingRecord its backsight (circle + OrientationCorrection the azimuth),
PointRecord with a Circle a pointing, with a Grid (keyed in) control, a
satellite position control at its grid coordinates; ComputedGrid is the
collector's, a check. Degrees and metres whatever the display units; the
raw EDM distances take the prism constant and the ppm still to apply;
deleted records and means of rounds (MTA) are passed over.

The book holds the file's notes as comments, `unit gon`, a `point` record per
control point and a `setup` block per setup with every reading, each number
written so that it reads back to the same value: `traverse adjust BOOK` gives
the figures of `traverse adjust FILE`. A book can also read the file in place
with `raw FILE`, keeping its own control, names and sigmas.

Exit codes: 0 done; 1 the file cannot be read; 2 usage.)";

const char* const answersHelp = R"(
FILE is a field book, an answer file or an instrument file (Leica GSI, Sokkia
SDR, Carlson RW5, Trimble JobXML; see
'traverse convert --help'), recognised by its content; --input-format
forces one. `raw FILE` in a book reads an instrument file's setups in place.

A field book names its points and holds its readings (see the manual page,
FIELD BOOKS). Its first word is a keyword:
  unit gon|deg|dms            the unit of the angles on the lines that follow
  point NAME X Y [Z]          a known point
  points FILE                 known points from NAME,X,Y[,Z[,DESCRIPTION]] rows
                              (or Lat, Lon columns), or a LandXML file's CgPoints
  traverse [NAME] [left|right]
    ORIENTATION               a known point, or: bearing ANGLE
    NAME ANGLE DISTANCE       the stations; readings joined by '/', or
    ...                       sd=SLOPE za=ZENITH [hi=H] [ht=H] for the distance
    NAME ANGLE                the last station, then the end ORIENTATION;
    ORIENTATION               or the last station as NAME alone (no end
  end                         orientation, or open where NAME is new)
A book may also hold, each with an optional sigma=, and sigma angle S /
sigma length A [B] lines:
  angle AT FROM TO VALUE      distance FROM TO DISTANCE    bearing FROM TO VALUE
With --rule least-squares the whole book is one network (these records alone
make a triangulation or trilateration); under compass or transit each record
is a check of the adjusted points. Under least squares 'relative A B' asks
for the relative precision of A and B besides every pair an observation
joins. Under unit deg or dms a bearing may be typed N 45-30-00 E.

A setup holds the pointings of one instrument setup as they were read, in
face one and face two, in as many rounds as were measured:
  setup STATION [hi=H]
    TARGET HZ [za=V] [sd=S|hd=D] [ht=H] [face=2] [code=WORD] ["description"]
  end
HZ is the horizontal circle reading; face two is a zenith above half a turn
(or face=2); ht= carries on to the pointings after it. Face pairs are meaned
and rounds reduced to the first target; each setup has its own orientation
under least squares, and `sigma direction S` gives a direction's sigma, a
face pair's or, in a setup of one face, one reading's (else an angle's over
the square root of 2). A target sighted from one setup only
that is no station, known point or traverse point is a sideshot: radiated
from the adjusted station, with no check.

Heights under least squares are a network of their own: every slope
distance with a zenith (legs, distance records, setups with hi= and ht=)
gives a trigonometric height difference, and levelling lines are read as
  level FROM TO DH [dist=KM] [sigma=MM]   sigma level MM (per sqrt km; 1)
  benchmark NAME Z                        a mark of known height alone
Known heights are held fixed; every point gets its height and sigma, every
height difference its residual, w and r, and the heights' global test and
suspect are named in the overall line.

A left angle is the angle on the left of the line of travel, measured
clockwise from the station behind to the station ahead (in US practice an
"angle right"); a right angle is a full turn less a left one.

An answer file holds the dialogue's answers, one per line: X and Y of A, B,
C and D, the side (left or right), the number of angles, every angle, every
length. With --no-end-orientation D's two lines are left out and there is
no angle at C; with --open C and D are left out. Numbers are typed as in the
dialogue (5432123.456, -0.5, 1e3); a DMS angle as D-M-S (123-45-30.5).

Exit codes: 0 done; 1 the input cannot be read or adjusted; 2 usage;
3 a tolerance is exceeded (the report is written in full).)";

}  // namespace

int RunCommandLine(int argc, char** argv) {
  CLI::App app{"traverse " TRAVERSE_VERSION
               ": adjusts a surveyor's traverse from B, oriented on A, to C, oriented on D.\n"
               "Without arguments it asks for the answers on the console (the dialogue).",
               "traverse"};
  app.set_version_flag("--version", "traverse " TRAVERSE_VERSION);
  app.require_subcommand(1);
  app.footer("Run 'traverse adjust --help' for the adjustment report, 'traverse convert --help' "
             "for instrument files.");

  CLI::App* adjust = app.add_subcommand(
      "adjust", "Reads a field book, an instrument file or the dialogue's answers from FILE and "
                "writes an adjustment report.");
  adjust->footer(answersHelp);
  CLI::App* convert = app.add_subcommand(
      "convert", "Writes the field book that an instrument file (Leica GSI, Sokkia SDR, Carlson RW5, "
                 "Trimble JobXML) means: its control as point records and its setups with every reading.");
  convert->footer(convertHelp);

  Job job;
  AdjustRequest request;
  // Grads are gon, and the Bowditch rule is the compass rule, by their
  // other names.
  const std::map<std::string, AngleUnit> units{{"gon", AngleUnit::Gon},
                                               {"grad", AngleUnit::Gon},
                                               {"grads", AngleUnit::Gon},
                                               {"deg", AngleUnit::Degree},
                                               {"dms", AngleUnit::Dms}};
  const std::map<std::string, Rule> rules{{"compass", Rule::Compass},
                                          {"bowditch", Rule::Compass},
                                          {"transit", Rule::Transit},
                                          {"least-squares", Rule::LeastSquares}};
  std::string unit = "gon", rule = "compass", format = "text";
  // Numbers are taken as text and checked after parsing, so that a bad value
  // is told in the surveyor's terms (CLI11 would quote its own bounds).
  std::string scaleText, linearText, sigmaAngleText, heightText, refractionText, decimalsText,
      plotScaleText, meanHeightText;

  adjust->add_option("FILE", request.input,
                     "The field book or answers (standard input when absent or -)");
  adjust
      ->add_option("--unit", unit,
                   "Angles typed and reported in gon (grad, grads), decimal degrees or D-M-S")
      ->check(CLI::IsMember({"gon", "grad", "grads", "deg", "dms"}))
      ->capture_default_str();
  adjust
      ->add_option("--rule", rule,
                   "How the misclosure is spread: compass (bowditch), transit or least-squares")
      ->check(CLI::IsMember({"compass", "bowditch", "transit", "least-squares"}))
      ->capture_default_str();
  CLI::Option* noEnd =
      adjust->add_flag("--no-end-orientation", request.noEndOrientation,
                       "The traverse ends on C with no orientation at C (no D, no angle at C)");
  adjust->add_flag("--open", request.open, "No C and no D: the traverse has no check")
      ->excludes(noEnd);
  adjust->add_option("--scale", scaleText, "Multiply every length by K (grid and height scale)")
      ->type_name("K")
      ->default_str("1");
  adjust
      ->add_option("--grid", request.grid,
                   "Field books: the projected grid, 'utm ZONE[n|s]', 'tm LAT0 LON0 K0 FALSE_E "
                   "FALSE_N [ELLIPSOID]', 'lcc LAT0 LON0 LAT1 LAT2 FALSE_E FALSE_N [ELLIPSOID]' or "
                   "'epsg:CODE': every observation reduced from the ground to it (in place of the "
                   "book's grid record; refused with --scale)")
      ->type_name("GRID");
  adjust
      ->add_option("--mean-height", meanHeightText,
                   "On a grid: the height of every point that has none, for the height factor")
      ->type_name("H");
  adjust
      ->add_option("--angular-tolerance", request.angularTolerance,
                   "Allowed angular misclosure A + B*sqrt(n), in cc (gon) or arc seconds")
      ->type_name("A[,B]");
  adjust
      ->add_option("--linear-tolerance", linearText, "The relative precision must be 1:N or better")
      ->type_name("N");
  adjust
      ->add_option("--sigma-angle", sigmaAngleText,
                   "A-priori sigma of an angle, cc (gon) or arc seconds [10 cc, 3\"]")
      ->type_name("S");
  adjust
      ->add_option("--sigma-length", request.sigmaLength,
                   "A-priori sigma of a length, A mm + B ppm [3,2]")
      ->type_name("A[,B]");
  adjust->add_option("--format", format, "Output format (geojson needs a grid: positions are latitude and longitude)")
      ->check(CLI::IsMember([] {
        std::vector<std::string> names;
        for (const Format& f : formats) names.push_back(f.name);
        return names;
      }()))
      ->capture_default_str();
  adjust
      ->add_option("--height-tolerance", heightText,
                   "Field books: allowed height misclosure E*sqrt(length in km), in mm")
      ->type_name("E");
  adjust
      ->add_option("--refraction", refractionText,
                   "Field books: the refraction coefficient k of trigonometric heights [0.13]")
      ->type_name("K");
  adjust
      ->add_option("--columns", request.columns,
                   "CSV: the columns in order, letters of P (point), N (north, X), E (east, Y), "
                   "Z, D (description), and on a grid B and L (or LAT and LON: latitude and "
                   "longitude, decimal degrees), without a header [point,x,y(,z) with a header]")
      ->type_name("PNEZD")
      ->check([](const std::string& typed) -> std::string {
        std::string letters;
        return ColumnLetters(typed, letters)
                   ? ""
                   : "letters of P, N, E, Z, D, B (LAT) and L (LON), each once, found '" + typed + "'";
      });
  adjust
      ->add_option("--points", request.points,
                   "CSV: the new points, all with the known ones, or the sideshots (their "
                   "code and description as D)")
      ->check(CLI::IsMember({"new", "all", "sideshots"}))
      ->capture_default_str();
  adjust->add_option("--decimals", decimalsText, "Decimals of the coordinates in text and CSV, 0 to 9")
      ->type_name("N")
      ->default_str("3");
  adjust->add_option("--plot-scale", plotScaleText, "DXF: the plot scale 1:N, for text 2.5 mm high")
      ->type_name("N")
      ->default_str("500");
  adjust->add_flag("--dxf-code-layers", request.codeLayers,
                   "DXF: each sideshot on a layer named by its code (else layer SIDESHOTS)");
  adjust
      ->add_option("--bearing-style", request.bearingStyle,
                   "Text and HTML: bearings as azimuths (0 to 360 or 400) or by quadrant, "
                   "N 45-30-00 E")
      ->check(CLI::IsMember({"azimuth", "quadrant"}))
      ->capture_default_str();
  adjust
      ->add_option("--relative-tolerance", request.relativeTolerance,
                   "Least squares: the 95 % relative positional precision of each pair of "
                   "points must be within MM + PPM times their distance (ALTA/NSPS: 20,50)")
      ->type_name("MM,PPM");
  adjust
      ->add_option("--output,-o", request.output,
                   "Write to FILE (replaced only once complete) instead of standard output")
      ->type_name("FILE");
  adjust
      ->add_option("--control", request.control,
                   "Instrument files: known points from a control CSV (NAME,X,Y[,Z[,DESCRIPTION]] "
                   "or its header's columns) or a LandXML file's CgPoints, in place of the file's "
                   "own of the same name (a book names its control with 'points FILE')")
      ->type_name("FILE");
  convert->add_option("FILE", request.input, "The instrument file (standard input when absent or -)");
  convert
      ->add_option("--output,-o", request.output,
                   "Write the book to FILE (replaced only once complete) instead of standard output")
      ->type_name("FILE");
  // What instrument files are read with, by either command.
  std::string inputFormat, encoding = "latin1", lengthUnit;
  for (CLI::App* command : {adjust, convert}) {
    std::vector<std::string> names;
    const std::string all = InputFormatNames();
    for (std::size_t start = 0; start <= all.size();) {
      const std::size_t bar = std::min(all.find('|', start), all.size());
      names.push_back(all.substr(start, bar - start));
      start = bar + 1;
    }
    command
        ->add_option("--input-format", inputFormat,
                     "Read FILE as this format whatever its content [judged by its content]")
        ->check(CLI::IsMember(names))
        ->type_name(all);
    command
        ->add_option("--encoding", encoding,
                     "Instrument files: the code page of names and notes that are not valid UTF-8")
        ->check(CLI::IsMember({"latin1", "cp1251"}))
        ->capture_default_str();
    command
        ->add_option("--length-unit", lengthUnit,
                     "The job's length unit, reported in: metres, international or US survey "
                     "feet; a book's `length` record or an instrument file's own unit is "
                     "converted into it [the input's own, else metres]")
        ->check(CLI::IsMember({"m", "ft", "usft"}));
    command->add_flag("--apply-ppm", request.raw.applyRecordedCorrections,
                      "Instrument files: apply the ppm and prism constant the file records (GSI "
                      "51, 58, 59) to its distances [taken as applied by the instrument]");
  }

  // A path is a path on every system: on Windows CLI11 would take a word
  // starting with '/' for an option.
  app.allow_windows_style_options(false);
  adjust->allow_windows_style_options(false);
  convert->allow_windows_style_options(false);

  std::string usage;  // a bad option value, in our words
  try {
    app.parse(argc, argv);
    // The options as typed, less the input's name, for the page's header.
    for (int i = 2; i < argc; ++i) {
      if (argv[i] == request.input) continue;
      if (!request.arguments.empty()) request.arguments += ' ';
      request.arguments += argv[i];
    }
    const auto number = [&](const char* option, const std::string& text, double least,
                            bool positive, double& value) {
      return text.empty() || !usage.empty() ||
             ReadOptionNumber(option, text, least, positive, value, usage);
    };
    double linearTolerance = 0, sigmaAngle = 0, height = 0, refraction = 0, decimals = 3;
    number("--scale", scaleText, 0, true, job.settings.scale);
    number("--linear-tolerance", linearText, 0, true, linearTolerance);
    number("--sigma-angle", sigmaAngleText, 0, true, sigmaAngle);
    number("--height-tolerance", heightText, 0, true, height);
    number("--refraction", refractionText, -1, false, refraction);
    number("--plot-scale", plotScaleText, 0, true, request.plotScale);
    if (usage.empty() && refraction > 1)
      usage = "--refraction: must be a number from -1 to 1, found '" + refractionText + "'";
    const bool decimalsRead = number("--decimals", decimalsText, 0, false, decimals);
    if (!decimalsRead || (usage.empty() && (decimals > 9 || decimals != std::floor(decimals))))
      usage = "--decimals: must be a whole number from 0 to 9, found '" + decimalsText + "'";
    if (!usage.empty()) throw CLI::ValidationError(usage);
    request.decimals = static_cast<int>(decimals);
    if (!linearText.empty()) job.settings.linearTolerance = linearTolerance;
    if (!sigmaAngleText.empty()) request.sigmaAngle = sigmaAngle;
    if (!heightText.empty()) request.heightTolerance = height;
    if (!refractionText.empty()) request.refraction = refraction;
    if (!meanHeightText.empty()) {
      double h = 0;
      if (!ReadOptionNumber("--mean-height", meanHeightText, -1000, false, h, usage))
        throw CLI::ValidationError(usage);
      request.meanHeight = h;
    }
    request.scaleGiven = !scaleText.empty();
    if (!request.columns.empty()) ColumnLetters(std::string(request.columns), request.columns);
    if (!request.grid.empty()) {
      // The words of the grid, as one argument or several quoted as one.
      std::vector<std::string_view> words;
      const std::string& g = request.grid;
      for (std::size_t at = 0; at < g.size();) {
        const std::size_t start = g.find_first_not_of(" \t", at);
        if (start == std::string::npos) break;
        const std::size_t end = std::min(g.find_first_of(" \t", start), g.size());
        words.emplace_back(g.data() + start, end - start);
        at = end;
      }
      try {
        request.gridDefinition = ParseGrid(words, 0);
      } catch (const JobError& error) {
        usage = "--" + std::string(error.what());
        throw CLI::ValidationError(usage);
      }
    }
    if (request.scaleGiven && !request.grid.empty()) {
      usage = "--scale and --grid exclude each other: on a grid each distance takes its own "
              "height and line scale factors";
      throw CLI::ValidationError(usage);
    }
    job.settings.unit = units.at(unit);
    job.settings.rule = rules.at(rule);
    for (const Format& f : formats)
      if (format == f.name) request.format = &f;
    request.unitGiven = adjust->count("--unit") > 0;
    if (!inputFormat.empty()) request.inputFormat = InputFormatNamed(inputFormat);
    request.raw.encoding = encoding == "cp1251" ? TextEncoding::Cp1251 : TextEncoding::Latin1;
    if (request.unitGiven) request.raw.angleUnit = job.settings.unit;
    if (!lengthUnit.empty()) {
      request.raw.lengthUnit = lengthUnit == "m"    ? LengthUnit::Metre
                               : lengthUnit == "ft" ? LengthUnit::Foot
                                                    : LengthUnit::UsSurveyFoot;
      request.lengthUnit = request.raw.lengthUnit;
      SetLengthUnit(job.settings, *request.lengthUnit);
      job.settings.lengthGiven = true;
    }
    SetAngleSigma(job.settings, request);
    job.settings.sigmas.given = request.sigmaAngle || !request.sigmaLength.empty();
    if (!request.angularTolerance.empty()) {
      AngularTolerance tolerance;
      if (!ParsePair(request.angularTolerance, tolerance.base, tolerance.perAngle))
        throw CLI::ValidationError(
            "--angular-tolerance",
            "expected A or A,B (non-negative numbers), found '" + request.angularTolerance + "'");
      job.settings.angularTolerance = tolerance;
    }
    if (!request.sigmaLength.empty()) {
      double millimetres = 0, ppm = 0;
      if (!ParsePair(request.sigmaLength, millimetres, ppm) || (millimetres == 0 && ppm == 0))
        throw CLI::ValidationError(
            "--sigma-length",
            "expected A or A,B (mm and ppm, not both 0), found '" + request.sigmaLength + "'");
      job.settings.sigmas.lengthMetres = millimetres / 1000;
      job.settings.sigmas.lengthPpm = ppm;
    }
    if (!request.relativeTolerance.empty()) {
      RelativeTolerance tolerance;
      if (!ParsePair(request.relativeTolerance, tolerance.millimetres, tolerance.ppm) ||
          (tolerance.millimetres == 0 && tolerance.ppm == 0))
        throw CLI::ValidationError("--relative-tolerance",
                                   "expected MM or MM,PPM (non-negative numbers, not both 0), "
                                   "found '" + request.relativeTolerance + "'");
      job.settings.relativeTolerance = tolerance;
    }
  } catch (const CLI::CallForHelp&) {
    WriteStandard(platform::StdHandle::Output, adjust->parsed()    ? adjust->help()
                                               : convert->parsed() ? convert->help()
                                                                   : app.help());
    return ExitSuccess;
  } catch (const CLI::CallForAllHelp&) {
    WriteStandard(platform::StdHandle::Output, app.help("", CLI::AppFormatMode::All));
    return ExitSuccess;
  } catch (const CLI::CallForVersion&) {
    WriteStandard(platform::StdHandle::Output, "traverse " TRAVERSE_VERSION "\n");
    return ExitSuccess;
  } catch (const CLI::ParseError& error) {
    // Without `adjust` CLI11 can only say that a subcommand is required; the
    // surveyor wants to hear which word it did not know.
    const std::string message = !usage.empty()                          ? usage
                                : adjust->parsed() || convert->parsed() ? error.what()
                                    : "'" + std::string(argv[1]) +
                                          "' is not a command or option (the commands are 'adjust' "
                                          "and 'convert'; 'traverse' alone runs the dialogue)";
    WriteStandard(platform::StdHandle::Error, "traverse: " + message + "\nRun 'traverse " +
                                                  (adjust->parsed()    ? "adjust "
                                                   : convert->parsed() ? "convert "
                                                                       : "") +
                                                  "--help' for the options.\n");
    return ExitUsage;
  }

  if (convert->parsed()) return RunConvert(request);
  if (request.noEndOrientation) job.kind = TraverseKind::NoEndOrientation;
  if (request.open) job.kind = TraverseKind::Open;
  return RunAdjust(job, request);
}

}  // namespace traverse
