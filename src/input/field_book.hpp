// Reading a field book: known points by name (from `point` records and
// control point files), traverses of named stations and free observations,
// with their readings as written (ReduceBook makes them what the rules take).
// The format is described in the manual page (FIELD BOOKS).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "adjustment/book.hpp"

namespace traverse {

// How the reader reaches the files a book names (`points FILE`): where a path
// written in the book is to be opened, and the reading of it, which returns
// "" or the reason it failed ("No such file or directory").
struct FileAccess {
  std::function<std::string(const std::string& written)> resolve;
  std::function<std::string(const std::string& path, std::string& text)> read;
  // The setups and control of an instrument file (`raw FILE`), read from its
  // text: the instrument readers sit above the book's, which reaches them
  // only through this. Throws JobError naming the file.
  std::function<Book(const std::string& path, std::string_view text)> raw;
  // The length unit of a book without a `length` record (--length-unit);
  // metres where none is given.
  std::optional<LengthUnit> length;
};

// Whether `text` is a field book: its first word, after a byte order mark,
// blank lines and comments, is one of the book's keywords.
bool IsFieldBook(std::string_view text);

// The book in `text`. Throws JobError naming the first fault in book order:
// its line (and the control file where it is in one), what was expected and
// what was found.
Book ReadFieldBook(std::string_view text, const std::string& source, const FileAccess& files);

}  // namespace traverse
