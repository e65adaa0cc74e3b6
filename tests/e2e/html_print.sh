#!/usr/bin/env bash
# Prints the HTML reports to PDF in a real browser (headless Chromium) and
# reads the pages back (poppler's pdftotext and pdfinfo): the key figures and
# verdicts are on the page, the worked example fills two A4 pages, and a
# book's first traverse follows its header while each later one starts a page. Exit 77 (skipped) where no
# browser can run here, saying why.
# Usage: html_print.sh PROGRAM EXAMPLES_DIR WORK_DIR
set -uo pipefail
program=$1 examples=$2 work=$3
mkdir -p "$work"

browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ] || ! command -v pdftotext >/dev/null || ! command -v pdfinfo >/dev/null; then
  echo "SKIPPED: chromium or poppler-utils is not installed (apt-get install chromium poppler-utils)"
  exit 77
fi
print() {  # HTML file -> PDF file
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-pdf-header-footer \
    --user-data-dir="$work/profile" --print-to-pdf="$2" "file://$1" >"$work/browser.log" 2>&1
}
probe="$work/probe.html"
echo '<!DOCTYPE html><title>probe</title><p>probe' >"$probe"
if ! print "$probe" "$work/probe.pdf" || [ ! -s "$work/probe.pdf" ]; then
  echo "SKIPPED: chromium cannot start here:"
  tail -5 "$work/browser.log"
  exit 77
fi

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
expect_text() {  # PDF, then each text that must be on its pages
  local pdf=$1 text
  shift
  text=$(pdftotext -layout "$pdf" -)
  for want in "$@"; do
    grep -qF -- "$want" <<<"$text" || fail "'$want' is not in $pdf"
  done
}
pages() { pdfinfo "$1" | awk '/^Pages:/ { print $2 }'; }

# The worked example, with a tolerance that fails: exit code 3, report whole.
"$program" adjust --format html --angular-tolerance 10,5 --linear-tolerance 50000 \
  "$examples/worked_left.txt" >"$work/worked.html" 2>/dev/null
[ $? -eq 3 ] || fail "the worked example's exceeded tolerance did not exit with 3"
# Self-contained and the same bytes every time: no script, nothing fetched,
# no timestamp.
grep -qiE '<script|<link|src=|@import|url\(http' "$work/worked.html" && fail "the page loads or runs something"
"$program" adjust --format html --angular-tolerance 10,5 --linear-tolerance 50000 \
  "$examples/worked_left.txt" >"$work/again.html" 2>/dev/null
cmp -s "$work/again.html" "$work/worked.html" || fail "two runs wrote different pages"
print "$work/worked.html" "$work/worked.pdf" || fail "printing the worked example"
expect_text "$work/worked.pdf" "1:80006" "5146.949" "3202.263" "5100.014" "3498.554" \
  "EXCEEDED" "passed" "Overall: EXCEEDED" "No suspected blunder" "worked_left.txt" "traverse 1.1"
[ "$(pages "$work/worked.pdf")" = 2 ] || fail "the worked example prints on $(pages "$work/worked.pdf") pages, not 2"

# A book of two traverses: each starts a page of its own.
"$program" adjust --format html "$examples/two_traverses.book" >"$work/book.html" ||
  fail "the two-traverse book"
print "$work/book.html" "$work/book.pdf" || fail "printing the two-traverse book"
expect_text "$work/book.pdf" "Traverse 1: road" "Traverse 2: lane" "1:128403" "3001" "4002"
# The header flows into the first traverse; the second starts a page.
pdftotext -f 1 -l 1 -layout "$work/book.pdf" - | grep -qF "Traverse 1: road" ||
  fail "'Traverse 1: road' does not follow the header on page 1"
found=0
for ((page = 2; page <= $(pages "$work/book.pdf"); ++page)); do
  first=$(pdftotext -f $page -l $page -layout "$work/book.pdf" - | grep -m1 -v '^\s*$')
  grep -qF "Traverse 2: lane" <<<"$first" && found=1
done
[ $found = 1 ] || fail "'Traverse 2: lane' does not start a page"

if [ $failures -gt 0 ]; then
  exit 1
fi
echo "HTML printed in $("$browser" --version 2>/dev/null | head -1): worked example $(pages "$work/worked.pdf") pages, book $(pages "$work/book.pdf") pages"
