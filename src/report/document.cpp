#include "report/document.hpp"

#include <algorithm>

#include "report/text_escape.hpp"

namespace traverse {
namespace {

constexpr const char* Indent = "  ";
constexpr const char* ColumnGap = "  ";

// ---- plain text ----

std::string TextLine(const Table& table, const std::vector<std::string>& cells,
                     const std::vector<std::size_t>& widths) {
  std::string line(Indent);
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const std::string cell = i < cells.size() ? cells[i] : std::string();
    const std::size_t padding = widths[i] - std::min(widths[i], CodePointCount(cell));
    if (i > 0) line += ColumnGap;
    if (table.columns[i].left) {
      line += cell;
      line.append(padding, ' ');
    } else {
      line.append(padding, ' ');
      line += cell;
    }
  }
  line.erase(line.find_last_not_of(' ') + 1);
  return line + '\n';
}

std::string TextTable(const Table& table) {
  std::vector<std::size_t> widths;
  for (const Table::Column& column : table.columns) widths.push_back(CodePointCount(column.heading));
  for (const Table::Row& row : table.rows)
    for (std::size_t i = 0; i < row.cells.size() && i < widths.size(); ++i)
      widths[i] = std::max(widths[i], CodePointCount(row.cells[i]));
  std::vector<std::string> headings, rules;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    headings.push_back(table.columns[i].heading);
    // A unit column beside its number has no heading and no rule of its own.
    rules.emplace_back(widths[i], table.columns[i].heading.empty() ? ' ' : '-');
  }
  std::string text = TextLine(table, headings, widths) + TextLine(table, rules, widths);
  for (const Table::Row& row : table.rows) text += TextLine(table, row.cells, widths);
  return text;
}

std::string TextFields(const Fields& fields, const char* indent) {
  std::size_t labelWidth = 0, numberWidth = 0;
  for (const Fields::Field& field : fields.fields) {
    labelWidth = std::max(labelWidth, CodePointCount(field.label));
    numberWidth = std::max(numberWidth, CodePointCount(field.number));
  }
  std::string text;
  for (const Fields::Field& field : fields.fields) {
    std::string line = indent + field.label;
    line.append(labelWidth - CodePointCount(field.label) + 2, ' ');
    if (!field.number.empty()) {
      line.append(numberWidth - CodePointCount(field.number), ' ');
      line += field.number;
      if (!field.rest.empty()) line += ' ';
    }
    line += field.rest;
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + '\n';
  }
  return text;
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
table.fields th { text-align: left; font-weight: normal; padding-left: 0; }
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
bool LooksNumeric(const std::string& text) {
  if (text.empty()) return false;
  const char first = text[0];
  return (first >= '0' && first <= '9') || first == '-' || first == '+';
}

std::string HtmlTable(const Table& table) {
  std::string html = "<table>\n<thead><tr>";
  for (const Table::Column& column : table.columns)
    html += std::string(column.left ? "<th>" : "<th class=\"num\">") + XmlText(column.heading) +
            "</th>";
  html += "</tr></thead>\n<tbody>\n";
  for (const Table::Row& row : table.rows) {
    html += "<tr>";
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      const std::string cell = i < row.cells.size() ? row.cells[i] : std::string();
      const bool alarm = static_cast<int>(i) == row.alarm && !cell.empty();
      const bool number = !table.columns[i].left && LooksNumeric(cell);
      std::string classes = number ? "num" : "";
      if (alarm) classes += classes.empty() ? "alarm" : " alarm";
      html += classes.empty() ? "<td>" : "<td class=\"" + classes + "\">";
      html += XmlText(cell) + "</td>";
    }
    html += "</tr>\n";
  }
  return html + "</tbody>\n</table>\n";
}

std::string HtmlFields(const Fields& fields) {
  std::string html = "<table class=\"fields\">\n";
  for (const Fields::Field& field : fields.fields) {
    // A value without a number starts where the numbers start, so that the
    // header's values line up.
    const char* alarm = field.alarm ? " class=\"alarm\"" : "";
    html += "<tr><th>" + XmlText(field.label) + "</th>";
    html += field.number.empty() ? std::string("<td colspan=\"2\"") + alarm + ">"
                                 : "<td class=\"num\">" + XmlText(field.number) + "</td><td" +
                                       alarm + ">";
    html += XmlText(field.rest) + "</td></tr>\n";
  }
  return html + "</table>\n";
}

// The plan's SVG without its XML declaration, to stand inside the page.
std::string InlineSvg(const std::string& svg) {
  const std::size_t start = svg.find("<svg");
  return start == std::string::npos ? svg : svg.substr(start);
}

}  // namespace

std::string RenderText(const Document& document) {
  std::string text;
  for (const Block& block : document.blocks()) {
    switch (block.kind) {
      case Block::Kind::Title:
        text += block.text + '\n' + std::string(block.text.size(), '=') + "\n\n";
        break;
      case Block::Kind::Section:
        text += "\n\n" + block.text + '\n' + std::string(CodePointCount(block.text), '-') + '\n';
        break;
      case Block::Kind::Heading:
        text += '\n' + block.text + '\n';
        break;
      case Block::Kind::Table:
        text += TextTable(block.table);
        break;
      case Block::Kind::Fields:
        text += TextFields(block.fields, block.indent ? Indent : "");
        break;
      case Block::Kind::Line:
        text += (block.indent ? Indent : "") + block.text + '\n';
        break;
      case Block::Kind::Blank:
        text += '\n';
        break;
      case Block::Kind::Plan:
        break;
    }
  }
  return text;
}

std::string RenderHtml(const Document& document, const std::string& title) {
  std::size_t sections = 0;
  for (const Block& block : document.blocks()) sections += block.kind == Block::Kind::Section;
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
      XmlText(title) + "</title>\n<style>" + Style + "</style>\n</head>\n<body>\n";
  bool inSection = false, firstSection = true;
  for (const Block& block : document.blocks()) {
    switch (block.kind) {
      case Block::Kind::Title:
        html += "<h1>" + XmlText(block.text) + "</h1>\n";
        break;
      case Block::Kind::Section:
        if (inSection) html += "</section>\n";
        // On paper each traverse of a book of several starts a page, but
        // for the first, which follows the header on its page.
        html += sections > 1 && !firstSection ? "<section class=\"page\">\n" : "<section>\n";
        firstSection = false;
        html += "<h2>" + XmlText(block.text) + "</h2>\n";
        inSection = true;
        break;
      case Block::Kind::Heading:
        html += "<h3>" + XmlText(block.text) + "</h3>\n";
        break;
      case Block::Kind::Table:
        html += HtmlTable(block.table);
        break;
      case Block::Kind::Fields:
        html += HtmlFields(block.fields);
        break;
      case Block::Kind::Line:
        html += std::string(block.alarm ? "<p class=\"alarm\">" : "<p>") + XmlText(block.text) +
                "</p>\n";
        break;
      case Block::Kind::Blank:
        break;
      case Block::Kind::Plan:
        html += "<figure class=\"plan\">\n" + InlineSvg(block.text) + "</figure>\n";
        break;
    }
  }
  if (inSection) html += "</section>\n";
  return html + "</body>\n</html>\n";
}

}  // namespace traverse
