#include "instrument/raw_formats.hpp"

#include "adjustment/job_error.hpp"
#include "input/tokens.hpp"
#include "instrument/gsi.hpp"
#include "instrument/jobxml.hpp"
#include "instrument/rw5.hpp"
#include "instrument/sdr.hpp"

namespace traverse {
namespace {

// One format: its --input-format name, its title, whether a text opens as
// one of its files, and its reader (null until it is built).
struct FormatEntry {
  InputFormat format;
  const char* name;
  const char* title;
  bool (*opens)(std::string_view firstRecord);
  RawReader read;
};

// The text from its first character that is not a blank or a control byte
// (STX framing, a leading CR).
std::string_view FirstRecord(std::string_view text) {
  text = WithoutByteOrderMark(text);
  std::size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  return text.substr(at);
}

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

bool OpensSdr(std::string_view first) {
  return StartsWith(first, "00NMSDR");
}

bool OpensRw5(std::string_view first) {
  for (std::string_view record : {"JB,", "MO,", "OC,", "SP,", "--"})
    if (StartsWith(first, record)) return true;
  return false;
}

bool OpensJobXml(std::string_view first) {
  if (StartsWith(first, "<?xml")) {
    const std::size_t end = first.find("?>");
    if (end == std::string_view::npos) return false;
    first = FirstRecord(first.substr(end + 2));
  }
  return StartsWith(first, "<JOBFile");
}

// Instrument formats in --input-format's order; the program's own follow.
constexpr FormatEntry instrumentFormats[] = {
    {InputFormat::Gsi, "gsi", "Leica GSI", OpensGsi, ReadGsi},
    {InputFormat::Sdr, "sdr", "Sokkia SDR", OpensSdr, ReadSdr},
    {InputFormat::Rw5, "rw5", "Carlson RW5", OpensRw5, ReadRw5},
    {InputFormat::JobXml, "jobxml", "Trimble JobXML", OpensJobXml, ReadJobXml},
};
constexpr std::pair<InputFormat, const char*> ownFormats[] = {{InputFormat::Book, "book"},
                                                              {InputFormat::Answers, "answers"}};

const FormatEntry* EntryOf(InputFormat format) {
  for (const FormatEntry& entry : instrumentFormats)
    if (entry.format == format) return &entry;
  return nullptr;
}

}  // namespace

std::optional<InputFormat> InputFormatNamed(std::string_view name) {
  for (const FormatEntry& entry : instrumentFormats)
    if (name == entry.name) return entry.format;
  for (const auto& [format, own] : ownFormats)
    if (name == own) return format;
  return std::nullopt;
}

std::string InputFormatNames() {
  std::string names;
  for (const FormatEntry& entry : instrumentFormats) names += std::string(entry.name) + "|";
  for (const auto& own : ownFormats) names += std::string(own.second) + "|";
  names.pop_back();
  return names;
}

std::optional<InputFormat> DetectInstrumentFormat(std::string_view text) {
  const std::string_view first = FirstRecord(text);
  for (const FormatEntry& entry : instrumentFormats)
    if (entry.opens(first)) return entry.format;
  return std::nullopt;
}

std::string FormatTitle(InputFormat format) {
  if (const FormatEntry* entry = EntryOf(format)) return entry->title;
  return format == InputFormat::Book ? "field book" : "answer file";
}

bool IsInstrumentFormat(InputFormat format) {
  return EntryOf(format) != nullptr;
}

Book ReadInstrumentFile(InputFormat format, std::string_view text, const std::string& source,
                        const RawOptions& options) {
  const FormatEntry* entry = EntryOf(format);
  if (entry == nullptr || entry->read == nullptr)
    throw JobError(0, "the file is read as " + FormatTitle(format) +
                          ", which this version of traverse cannot read yet");
  return entry->read(text, source, options);
}

}  // namespace traverse
