// A report as a sequence of blocks (titles, headings, tables, aligned
// fields, lines, plans), rendered as plain text or as HTML as they come.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "report/plan_model.hpp"
#include "report/writers.hpp"

namespace traverse {

// A table with a heading line and rows; text columns flush left, number
// columns flush right. A column with no heading is a unit beside its number.
struct Table {
  struct Column {
    std::string heading;
    bool left = false;
  };
  struct Row {
    std::vector<std::string> cells;  // missing cells are blank
    int alarm = -1;                  // a cell that reports a failure, or -1
  };

  explicit Table(std::vector<Column> heads) : columns(std::move(heads)) {}
  void Add(std::vector<std::string> cells, int alarm = -1) {
    rows.push_back({std::move(cells), alarm});
  }

  std::vector<Column> columns;
  std::vector<Row> rows;
};

// Lines of "label  number  rest", the numbers flush right in one column so
// their decimal points line up.
struct Fields {
  struct Field {
    std::string label, number, rest;
    bool alarm = false;
  };
  void Add(std::string label, std::string number, std::string rest = "", bool alarm = false) {
    fields.push_back({std::move(label), std::move(number), std::move(rest), alarm});
  }
  std::vector<Field> fields;
};

// A report written as it is built, as plain text or as HTML, so that the
// printed report and the filed page show the same content and a book of
// thousands of traverses never holds its whole report twice.
class Document {
 public:
  enum class Format {
    Text,  // LF lines: titles underlined, tables and fields sized to their widest cell
    Html,  // one self-contained HTML5 page with a print stylesheet for A4 portrait
  };
  // An empty report; a page opens with `title` as its title. With a sink,
  // the text goes to it a section at a time, else Finish returns it whole.
  explicit Document(Format format, std::string_view title = {}, const ReportSink* sink = nullptr);

  void Title(std::string_view text);    // the report's title, underlined with '='
  void Section(std::string_view text);  // a traverse or the network; a new page on paper
  void Heading(std::string_view text);  // a heading within a section
  void Line(std::string_view text, bool indent = false, bool alarm = false);
  void Blank();                   // an empty line (text only)
  void Plan(const PlanModel& plan);  // an SVG plan (HTML only)
  void Add(const Table& table);
  void Add(const Fields& fields, bool indent);
  // A table too long to hold, such as a book's sideshots: `row` fills the
  // cells of row i < count (text asks twice for each, once for the widths),
  // and the rows go to the sink a block at a time.
  using RowSource = std::function<void(std::size_t, std::vector<std::string>&)>;
  void AddRows(const std::vector<Table::Column>& columns, std::size_t count, const RowSource& row);

  Format format() const { return format_; }
  // The page closed; what the sink has not taken of the report.
  std::string Finish();

 private:
  void Spill();  // what is written so far to the sink, where there is one

  Format format_;
  std::string out_;
  const ReportSink* sink_;
  bool inSection_ = false, firstSection_ = true;
};

}  // namespace traverse
