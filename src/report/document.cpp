#include "report/document.hpp"

#include <algorithm>

#include "report/text_escape.hpp"

namespace traverse {
namespace {

constexpr const char* Indent = "  ";
constexpr const char* ColumnGap = "  ";

// ---- plain text ----

// Removes the blanks that end the line begun at `start`.
void TrimLine(std::string& out, std::size_t start) {
  while (out.size() > start && out.back() == ' ') out.pop_back();
}

// One line of cells, each padded to its column's width; `cell(i)` gives
// column i's text and its width in characters.
template <class Cell>
void TextLine(std::string& out, const std::vector<Table::Column>& columns,
              const std::vector<std::size_t>& widths, Cell cell) {
  const std::size_t start = out.size();
  out += Indent;
  for (std::size_t i = 0; i < widths.size(); ++i) {
    const auto [text, count] = cell(i);
    const std::size_t padding = widths[i] - std::min(widths[i], count);
    if (i > 0) out += ColumnGap;
    if (!columns[i].left) out.append(padding, ' ');
    out += text;
    if (columns[i].left) out.append(padding, ' ');
  }
  TrimLine(out, start);
  out += '\n';
}

using Cell = std::pair<std::string_view, std::size_t>;  // a cell's text and its width

// A table's heading line and its rule.
void TextHead(std::string& out, const std::vector<Table::Column>& columns,
              const std::vector<std::size_t>& widths) {
  TextLine(out, columns, widths, [&](std::size_t i) {
    return Cell(columns[i].heading, CodePointCount(columns[i].heading));
  });
  // A unit column beside its number has no heading and no rule of its own.
  std::string rule;
  TextLine(out, columns, widths, [&](std::size_t i) {
    rule.assign(widths[i], columns[i].heading.empty() ? ' ' : '-');
    return Cell(rule, widths[i]);
  });
}

void TextTable(std::string& out, const Table& table) {
  const std::size_t n = table.columns.size();
  std::vector<std::size_t> widths, counts;  // each cell's width counted once, a missing one as 0
  for (const Table::Column& column : table.columns) widths.push_back(CodePointCount(column.heading));
  counts.reserve(table.rows.size() * n);
  for (const Table::Row& row : table.rows) {
    for (std::size_t i = 0; i < n; ++i) {
      counts.push_back(i < row.cells.size() ? CodePointCount(row.cells[i]) : 0);
      widths[i] = std::max(widths[i], counts.back());
    }
  }
  TextHead(out, table.columns, widths);
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    const std::vector<std::string>& cells = table.rows[r].cells;
    TextLine(out, table.columns, widths, [&](std::size_t i) {
      return i < cells.size() ? Cell(cells[i], counts[r * n + i]) : Cell();
    });
  }
}

void TextFields(std::string& out, const Fields& fields, const char* indent) {
  std::size_t labelWidth = 0, numberWidth = 0;
  for (const Fields::Field& field : fields.fields) {
    labelWidth = std::max(labelWidth, CodePointCount(field.label));
    numberWidth = std::max(numberWidth, CodePointCount(field.number));
  }
  for (const Fields::Field& field : fields.fields) {
    const std::size_t start = out.size();
    out += indent;
    out += field.label;
    out.append(labelWidth - CodePointCount(field.label) + 2, ' ');
    if (!field.number.empty()) {
      out.append(numberWidth - CodePointCount(field.number), ' ');
      out += field.number;
      if (!field.rest.empty()) out += ' ';
    }
    out += field.rest;
    TrimLine(out, start);
    out += '\n';
  }
}

// ---- HTML ----

// The page's own style: readable on screen, and on A4 portrait paper with
// each traverse of a book on a new page and every table's heading repeated
// where it runs over a page.
const char* const Style = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 10pt; color: #111; margin: 2em; }
h1 { font-size: 16pt; border-bottom: 2px solid #333; padding-bottom: 0.2em; }
h2 { font-size: 13pt; border-bottom: 1px solid #888; margin-top: 1.5em; }
h3 { font-size: 11pt; margin: 1.2em 0 0.4em; }
table { border-collapse: collapse; margin: 0.3em 0 0.6em; }
th, td { padding: 0.15em 0.6em; vertical-align: baseline; }
thead th { border-bottom: 1px solid #555; text-align: left; white-space: nowrap; }
thead th.num { text-align: right; }
tbody tr:nth-child(even) { background: #f3f3f3; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
table.fields th { text-align: left; font-weight: normal; padding-left: 0; white-space: nowrap; }
table.fields td.num { width: 1%; }
.alarm { color: #b00000; font-weight: bold; }
p { margin: 0.3em 0; }
figure.plan { margin: 1em 0; }
figure.plan svg { width: 100%; max-width: 170mm; height: auto; border: 1px solid #ccc; }
footer { margin-top: 2em; font-size: 8pt; color: #555; }
@page { size: A4 portrait; margin: 15mm 12mm; }
@media print {
  body { margin: 0; font-size: 9pt; }
  section.page { break-before: page; }
  thead { display: table-header-group; }
  tr, figure.plan { break-inside: avoid; }
  h1, h2, h3 { break-after: avoid; }
  tbody tr:nth-child(even) { background: none; }
}
)";

// A cell holds a number where it starts with a digit, a sign or "1:".
bool LooksNumeric(std::string_view text) {
  if (text.empty()) return false;
  const char first = text[0];
  return (first >= '0' && first <= '9') || first == '-' || first == '+';
}

void HtmlHead(std::string& out, const std::vector<Table::Column>& columns) {
  out += "<table>\n<thead><tr>";
  for (const Table::Column& column : columns) {
    out += column.left ? "<th>" : "<th class=\"num\">";
    AppendXmlText(out, column.heading);
    out += "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
}

void HtmlRow(std::string& out, const std::vector<Table::Column>& columns,
             const std::vector<std::string>& cells, int alarmAt) {
  out += "<tr>";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string_view cell = i < cells.size() ? cells[i] : std::string_view();
    const bool alarm = static_cast<int>(i) == alarmAt && !cell.empty();
    const bool number = !columns[i].left && LooksNumeric(cell);
    out += number ? (alarm ? "<td class=\"num alarm\">" : "<td class=\"num\">")
                  : (alarm ? "<td class=\"alarm\">" : "<td>");
    AppendXmlText(out, cell);
    out += "</td>";
  }
  out += "</tr>\n";
}

constexpr const char* HtmlTableEnd = "</tbody>\n</table>\n";

void HtmlTable(std::string& out, const Table& table) {
  HtmlHead(out, table.columns);
  for (const Table::Row& row : table.rows) HtmlRow(out, table.columns, row.cells, row.alarm);
  out += HtmlTableEnd;
}

void HtmlFields(std::string& out, const Fields& fields) {
  out += "<table class=\"fields\">\n";
  for (const Fields::Field& field : fields.fields) {
    // A value without a number starts where the numbers start, so that the
    // header's values line up.
    const char* alarm = field.alarm ? " class=\"alarm\"" : "";
    out += "<tr><th>";
    AppendXmlText(out, field.label);
    out += "</th>";
    if (field.number.empty()) {
      out += "<td colspan=\"2\"";
    } else {
      out += "<td class=\"num\">";
      AppendXmlText(out, field.number);
      out += "</td><td";
    }
    out += alarm;
    out += '>';
    AppendXmlText(out, field.rest);
    out += "</td></tr>\n";
  }
  out += "</table>\n";
}

// An HTML element of text: <tag> or <tag class="alarm">, the text, </tag>.
void HtmlElement(std::string& out, const char* tag, std::string_view text, bool alarm = false) {
  out += '<';
  out += tag;
  out += alarm ? " class=\"alarm\">" : ">";
  AppendXmlText(out, text);
  out += "</";
  out += tag;
  out += ">\n";
}

}  // namespace

Document::Document(Format format, std::string_view title, const ReportSink* sink)
    : format_(format), sink_(sink) {
  if (format_ != Format::Html) return;
  out_ =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  AppendXmlText(out_, title);
  out_ += "</title>\n<style>";
  out_ += Style;
  out_ += "</style>\n</head>\n<body>\n";
}

void Document::Title(std::string_view text) {
  if (format_ == Format::Html) return HtmlElement(out_, "h1", text);
  out_ += text;
  out_ += '\n';
  out_.append(text.size(), '=');
  out_ += "\n\n";
}

void Document::Section(std::string_view text) {
  Spill();
  if (format_ == Format::Text) {
    out_ += "\n\n";
    out_ += text;
    out_ += '\n';
    out_.append(CodePointCount(text), '-');
    out_ += '\n';
    return;
  }
  if (inSection_) out_ += "</section>\n";
  // On paper each section after the first starts a page; the first follows
  // the header on its page.
  out_ += firstSection_ ? "<section>\n" : "<section class=\"page\">\n";
  firstSection_ = false;
  inSection_ = true;
  HtmlElement(out_, "h2", text);
}

void Document::Heading(std::string_view text) {
  if (format_ == Format::Html) return HtmlElement(out_, "h3", text);
  out_ += '\n';
  out_ += text;
  out_ += '\n';
}

void Document::Line(std::string_view text, bool indent, bool alarm) {
  if (format_ == Format::Html) return HtmlElement(out_, "p", text, alarm);
  if (indent) out_ += Indent;
  out_ += text;
  out_ += '\n';
}

void Document::Blank() {
  if (format_ == Format::Text) out_ += '\n';
}

void Document::Plan(const PlanModel& plan) {
  if (format_ != Format::Html) return;
  out_ += "<figure class=\"plan\">\n";
  DrawSvg(plan, out_, false);
  out_ += "</figure>\n";
}

void Document::Add(const Table& table) {
  if (format_ == Format::Html) return HtmlTable(out_, table);
  TextTable(out_, table);
}

void Document::AddRows(const std::vector<Table::Column>& columns, std::size_t count,
                       const RowSource& row) {
  constexpr std::size_t block = 4096;  // rows between handings to the sink
  std::vector<std::string> cells;
  const auto fill = [&](std::size_t r) {
    cells.clear();
    row(r, cells);
    cells.resize(columns.size());
  };
  if (format_ == Format::Html) {
    HtmlHead(out_, columns);
    for (std::size_t r = 0; r < count; ++r) {
      fill(r);
      HtmlRow(out_, columns, cells, -1);
      if ((r + 1) % block == 0) Spill();
    }
    out_ += HtmlTableEnd;
    return;
  }
  std::vector<std::size_t> widths;
  for (const Table::Column& column : columns) widths.push_back(CodePointCount(column.heading));
  for (std::size_t r = 0; r < count; ++r) {
    fill(r);
    for (std::size_t i = 0; i < columns.size(); ++i)
      widths[i] = std::max(widths[i], CodePointCount(cells[i]));
  }
  TextHead(out_, columns, widths);
  for (std::size_t r = 0; r < count; ++r) {
    fill(r);
    TextLine(out_, columns, widths,
             [&](std::size_t i) { return Cell(cells[i], CodePointCount(cells[i])); });
    if ((r + 1) % block == 0) Spill();
  }
}

void Document::Add(const Fields& fields, bool indent) {
  if (format_ == Format::Html) return HtmlFields(out_, fields);
  TextFields(out_, fields, indent ? Indent : "");
}

std::string Document::Finish() {
  if (format_ == Format::Html) {
    if (inSection_) out_ += "</section>\n";
    out_ += "</body>\n</html>\n";
    inSection_ = false;
  }
  Spill();
  return std::move(out_);
}

void Document::Spill() {
  if (!sink_ || out_.empty()) return;
  (*sink_)(out_);
  out_.clear();
}

}  // namespace traverse
