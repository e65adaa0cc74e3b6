// The JSON emitter of the report: indented text written in place, numbers
// in their shortest round-trip form. Inline throughout, as the writing of a
// large book's report is mostly this.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/number_writing.hpp"
#include "numbers/shortest_text.hpp"
#include "report/text_escape.hpp"

namespace traverse {

// Builds indented JSON text, putting the commas between members and items.
// The text is written in place: the string is lengthened a block at a time
// and every piece goes straight to its end, with no text built on the side.
class JsonText {
 public:
  // Room for `capacity` bytes at once: a text that grows by doubling copies
  // itself into fresh pages at every step, and in a run this short the page
  // faults cost more than the writing.
  explicit JsonText(std::size_t capacity) {
    text_.reserve(capacity);
    at_ = end_ = text_.data();
    levels_.reserve(8);
  }
  // Hands the text to `sink` a block of `block` bytes at a time instead: a
  // large report is never held whole. `sink` must outlive the writer.
  JsonText(std::size_t block, const std::function<void(std::string_view)>& sink) : sink_(&sink) {
    text_.resize(block);
    at_ = text_.data();
    end_ = at_ + text_.size();
    levels_.reserve(8);
  }

  // Starts a member of the open object.
  // Member names are this writer's own plain ASCII words: written as they
  // are, without the escaping a surveyor's text needs.
  JsonText& Key(std::string_view name) {
    Ensure(name.size() + 4);
    Separate();
    *at_++ = '"';
    Put(name);
    Put("\": ");
    afterKey_ = true;
    return *this;
  }
  // A name written out: its length known here, it is copied in one move.
  template <std::size_t Size>
  [[gnu::always_inline]] JsonText& Key(const char (&name)[Size]) {
    Ensure(Size + 3);
    Separate();
    *at_++ = '"';
    std::memcpy(at_, name, Size - 1);
    at_ += Size - 1;
    std::memcpy(at_, "\": ", 3);
    at_ += 3;
    afterKey_ = true;
    return *this;
  }

  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }

  void Number(double x) {
    // JSON has no infinity or NaN; a sane adjustment has neither. A bare
    // "-0" reads back as the integer 0, so negative zero keeps a decimal.
    if (!std::isfinite(x)) {
      Scalar("null");
    } else if (x == 0 && std::signbit(x)) {
      Scalar("-0.0");
    } else {
      Ensure(ShortestTextCapacity);
      Separate();
      at_ = WriteShortest(x, at_);
    }
  }
  void Number(const std::optional<double>& x) {
    if (x) {
      Number(*x);
    } else {
      Null();
    }
  }
  void Integer(int value) {
    Ensure(IntegerTextCapacity);
    Separate();
    at_ += FormatInteger(static_cast<std::int32_t>(value), at_);
  }
  void Bool(bool value) { Scalar(value ? "true" : "false"); }
  void String(std::string_view value) {
    // Names and notes are printable ASCII as a rule, and such text is its
    // own literal between quotes; anything else goes through the escaping.
    for (const char c : value) {
      if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
        Scalar(JsonString(value));
        return;
      }
    }
    Ensure(value.size() + 2);
    Separate();
    *at_++ = '"';
    Put(value);
    *at_++ = '"';
  }
  void Null() { Scalar("null"); }

  // The finished text, ending in a line feed (with a sink: its last piece
  // handed out, and nothing returned).
  std::string Finish() {
    Ensure(1);
    *at_++ = '\n';
    text_.resize(static_cast<std::size_t>(at_ - text_.data()));
    if (sink_) {
      (*sink_)(text_);
      return {};
    }
    return std::move(text_);
  }

 private:
  // One open object or array.
  struct Level {
    bool hasItems = false;
    bool isArray = false;
    bool inLine = false;  // an item of an array and all inside it: one line
  };

  // Room for `size` more characters after what Separate may write.
  [[gnu::always_inline]] void Ensure(std::size_t size) {
    size += 2 + 2 * levels_.size();
    if (static_cast<std::size_t>(end_ - at_) < size) Grow(size);
  }
  [[gnu::noinline]] void Grow(std::size_t size) {
    if (sink_ && at_ != text_.data()) {
      // Nothing written is looked at again: the block goes out whole.
      (*sink_)(std::string_view(text_.data(), static_cast<std::size_t>(at_ - text_.data())));
      at_ = text_.data();
      if (static_cast<std::size_t>(end_ - at_) >= size) return;
    }
    constexpr std::size_t block = 1 << 16;
    const std::size_t used = static_cast<std::size_t>(at_ - text_.data());
    text_.resize(std::max(text_.size() + block, used + size));
    at_ = text_.data() + used;
    end_ = text_.data() + text_.size();
  }
  void Put(std::string_view piece) {
    std::memcpy(at_, piece.data(), piece.size());
    at_ += piece.size();
  }

  // After Ensure: the comma and line break or blank before the next item.
  [[gnu::always_inline]] void Separate() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (!levels_.empty()) {
      Level& level = levels_.back();
      if (level.hasItems) *at_++ = ',';
      if (level.inLine) {
        if (level.hasItems) *at_++ = ' ';
      } else {
        NewLine();
      }
      level.hasItems = true;
    }
  }
  void NewLine() {
    *at_++ = '\n';
    const std::size_t indent = 2 * levels_.size();
    std::memset(at_, ' ', indent);
    at_ += indent;
  }
  void Scalar(std::string_view value) {
    Ensure(value.size());
    Separate();
    Put(value);
  }
  // An object or array that is an item of an array goes on one line, as a
  // row of a table: a reader scans the rows, and the text is half as long.
  void Open(char bracket) {
    Ensure(1);
    Separate();
    *at_++ = bracket;
    const bool inLine = !levels_.empty() && (levels_.back().inLine || levels_.back().isArray);
    levels_.push_back({false, bracket == '[', inLine});
  }
  void Close(char bracket) {
    const Level level = levels_.back();
    levels_.pop_back();
    Ensure(1);
    if (level.hasItems && !level.inLine) NewLine();
    *at_++ = bracket;
  }

  std::string text_;  // its first at_ - data() characters are the text so far
  char* at_ = nullptr;
  char* end_ = nullptr;
  std::vector<Level> levels_;
  bool afterKey_ = false;
  const std::function<void(std::string_view)>* sink_ = nullptr;
};

}  // namespace traverse
