// The instrument formats the program reads, recognised by content, and the
// one table that maps each to its reader: a format's reader takes the file's
// text and gives a Book of known points (the file's control) and setups with
// their raw readings, as a field book's `setup` blocks give them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "adjustment/survey.hpp"

namespace traverse {

// What --input-format names: the instrument formats, then the program's own.
enum class InputFormat { Gsi, Sdr, Rw5, JobXml, Book, Answers };

// How bytes that are not valid UTF-8 are read (notes, codes, point names).
enum class TextEncoding { Latin1, Cp1251 };

// What a reader is told beside the text.
struct RawOptions {
  TextEncoding encoding = TextEncoding::Latin1;
  // The units of a file that does not give its own (RW5 without MO, SDR
  // without header): --unit and --length-unit.
  std::optional<AngleUnit> angleUnit;
  std::optional<LengthUnit> lengthUnit;
  // The ppm and prism constant a file records are applied to its distances;
  // otherwise they are taken as applied by the instrument (GSI).
  bool applyRecordedCorrections = false;
};

// Every instrument reader's signature. Throws JobError naming the line and
// the field at fault; the file is the caller's `source`.
using RawReader = Book (*)(std::string_view text, const std::string& source, const RawOptions& options);

// The format --input-format names ("gsi", "rw5", ...), or none.
std::optional<InputFormat> InputFormatNamed(std::string_view name);

// The names --input-format takes, in the table's order, joined by '|'.
std::string InputFormatNames();

// The instrument format `text` is written in, judged by its first record;
// none for text that is no instrument file (a field book, answers).
std::optional<InputFormat> DetectInstrumentFormat(std::string_view text);

// The format's name for a message: "Leica GSI", "Carlson RW5", ...
std::string FormatTitle(InputFormat format);

// Whether `format` is an instrument format the program has a reader for.
bool IsInstrumentFormat(InputFormat format);

// The file's setups and control as its format's reader gives them, in the
// file's own length unit (Book::length, stated where the file gives it). Throws
// JobError for a format without a reader yet, or the reader's fault.
Book ReadInstrumentFile(InputFormat format, std::string_view text, const std::string& source,
                        const RawOptions& options);

}  // namespace traverse
