// Writers of an adjustment: one per format, each taking the one result shape
// (an answer file's as a book of one traverse) and returning the whole output
// as one text. They format what the result holds and compute nothing.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "adjustment/book.hpp"

namespace traverse {

struct ReportOptions {
  int decimals = 3;     // coordinates in text and CSV
  std::string version;  // of the program, for the text header
  std::string arguments;  // the command line's options, for the page's header
  std::string columns;    // CSV: letters of P, N, E, Z, D, B, L; empty for "point,x,y[,z]"
  bool allPoints = false;  // CSV: the known points too, before the new ones
  bool sideshots = false;  // CSV: the sideshots instead of the points
  bool codeLayers = false;  // DXF: each sideshot on a layer named by its code
  double plotScale = 500;  // DXF: 1:N, its text 2.5 mm high on paper
  bool quadrant = false;   // text and HTML: bearings as N 45-30-00 E
};

// A report to print and file: a header naming the input and the options,
// one section per traverse of a field book with names, readings and
// heights, aligned tables with units, the misclosures and the verdicts.
std::string FormatText(const BookResult& book, const ReportOptions& options);

// Where a report goes as it is written: its pieces, in order.
using ReportSink = std::function<void(std::string_view)>;

// The text report and the page handed to `sink` a section at a time, so that
// a book of thousands of traverses never holds its whole report.
void WriteText(const BookResult& book, const ReportOptions& options, const ReportSink& sink);
void WriteHtml(const BookResult& book, const ReportOptions& options, const ReportSink& sink);

// "point,x,y" and ",z" where any height is carried, a row per new point by
// name (RFC 4180 quoting where a name needs it); or the chosen columns without
// a header (B and L: latitude and longitude in decimal degrees, on a grid);
// the known points first where all are asked for, or the sideshots alone
// (their description: code, then words).
std::string FormatCsv(const BookResult& book, const ReportOptions& options);

// One JSON object (see the manual page); numbers in the shortest form that
// reads back to the same double. An answer file's traverse has its members
// at the top; a field book's has the book's settings, one object per
// traverse, every new point and the verdict over all.
std::string FormatJson(const BookResult& book, const ReportOptions& options);
// The same handed to `sink` a block at a time, never held whole.
void WriteJson(const BookResult& book, const ReportOptions& options, const ReportSink& sink);

// A plan of every traverse, X up and Y to the right, points labelled by name.
std::string FormatSvg(const BookResult& book, const ReportOptions& options);

// The report as one self-contained HTML5 page to print or file: the text
// report's content as tables, verdicts that fail in red with their words,
// the plans inline, and a print stylesheet for A4 portrait.
std::string FormatHtml(const BookResult& book, const ReportOptions& options);

// An AutoCAD R12 ASCII drawing (AC1009): every point as a POINT on layer KNOWN
// or NEW with its name and height as TEXT on layers NAMES and ELEV, and as an
// INSERT of block POINT with attributes NAME, ELEV and DESC; each traverse as
// a POLYLINE on layer TRAVERSE; each sideshot as a point on layer SIDESHOTS,
// or with options.codeLayers on a layer named by its code where it has
// one. Text 2.5 mm high at options.plotScale. For
// answer files too, as a book of one traverse.
std::string FormatDxf(const BookResult& book, const ReportOptions& options);

// GeoJSON (RFC 7946) of a result on a grid: a FeatureCollection of every
// point (known, new, sideshot) as a Point at [lon, lat(, h)] to 9 decimals,
// with its name, kind, grid N, E, Z, sigmas, ellipse and description as
// properties; then each traverse and each observed line as a LineString.
// No `crs` member: positions are WGS 84 (or the grid's datum) by the RFC.
void WriteGeoJson(const BookResult& book, const ReportOptions& options, const ReportSink& sink);

// LandXML 1.2 in its namespace: Units (metric, or imperial on a grid in
// feet; grads or decimal degrees), the grid's CoordinateSystem with its EPSG
// code, the Application; CgPoints with every point ("N E Z"); each traverse
// as a PlanFeature of CoordGeom lines; and where the book has setups a
// Survey of InstrumentSetups with their reduced observations.
void WriteLandXml(const BookResult& book, const ReportOptions& options, const ReportSink& sink);

}  // namespace traverse
