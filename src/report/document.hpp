// A report as a sequence of blocks (titles, headings, tables, aligned
// fields, lines, plans), built once and rendered as plain text or as HTML, so
// that the printed report and the filed page show the same content.
#pragma once

#include <string>
#include <vector>

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

struct Block {
  enum class Kind {
    Title,     // the report's title, underlined with '='
    Section,   // a traverse or the network, underlined with '-'; a new page on paper
    Heading,   // a heading within a section
    Table,
    Fields,
    Line,      // one line of text
    Blank,     // an empty line
    Plan,      // an SVG plan (HTML only)
  };
  Kind kind = Kind::Line;
  std::string text;  // title, heading, line, or the plan's SVG
  bool indent = false;
  bool alarm = false;
  Table table{{}};
  Fields fields;
};

class Document {
 public:
  void Title(std::string text) { Push(Block::Kind::Title, std::move(text)); }
  void Section(std::string text) { Push(Block::Kind::Section, std::move(text)); }
  void Heading(std::string text) { Push(Block::Kind::Heading, std::move(text)); }
  void Line(std::string text, bool indent = false, bool alarm = false) {
    Push(Block::Kind::Line, std::move(text)).indent = indent;
    blocks_.back().alarm = alarm;
  }
  void Blank() { Push(Block::Kind::Blank, ""); }
  void Plan(std::string svg) { Push(Block::Kind::Plan, std::move(svg)); }
  void Add(Table table) { Push(Block::Kind::Table, "").table = std::move(table); }
  void Add(Fields fields, bool indent) {
    Block& block = Push(Block::Kind::Fields, "");
    block.fields = std::move(fields);
    block.indent = indent;
  }

  const std::vector<Block>& blocks() const { return blocks_; }

 private:
  Block& Push(Block::Kind kind, std::string text) {
    blocks_.push_back({});
    blocks_.back().kind = kind;
    blocks_.back().text = std::move(text);
    return blocks_.back();
  }
  std::vector<Block> blocks_;
};

// Plain text in LF lines: titles underlined, headings after an empty line,
// tables and fields sized to their widest cell and indented two blanks.
std::string RenderText(const Document& document);

// One self-contained HTML5 page: the same blocks as real tables and
// headings, alarms in red with their words, the plans inline, and a print
// stylesheet for A4 portrait. `title` is the page's title.
std::string RenderHtml(const Document& document, const std::string& title);

}  // namespace traverse
