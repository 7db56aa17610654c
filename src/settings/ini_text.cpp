#include "settings/ini_text.h"

#include <cstdint>
#include <cstring>

namespace zt::settings::ini {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

// The blanks the Windows service trims around lines, names and values; Ctrl-Z is the old DOS end
// of file marker that it treats as a blank too.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a'; }


// text[from, to), for positions the caller has checked (substr would carry a throwing check).
std::string_view Between(std::string_view text, std::size_t from, std::size_t to) {
  return {text.data() + from, to - from};
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool NamesMatch(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Where the first line end in text lies, or text.size(). A plain scan: find_first_of looks for
// each byte in its set of two with a call of its own, and every rewrite of the file walks its
// lines several times.
std::size_t LineEndIn(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && !IsLineEnd(text[at])) ++at;
  return at;
}

bool HasLineEnd(std::string_view text) { return LineEndIn(text) < text.size(); }

// One pair of matching outer quotes, double or single, is not part of a value.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return Between(value, 1, value.size() - 1);
  }
  return value;
}

// Takes the next line off rest, without its line end. False when nothing is left.
bool NextLine(std::string_view& rest, std::string_view& line) {
  if (rest.empty()) return false;
  const std::size_t end = LineEndIn(rest);
  if (end == rest.size()) {
    line = rest;
    rest = {};
    return true;
  }
  line = Between(rest, 0, end);
  std::size_t next = end + 1;
  if (rest[end] == '\r' && next < rest.size() && rest[next] == '\n') ++next;
  rest.remove_prefix(next);
  return true;
}

}  // namespace

Line Classify(std::string_view raw) {
  Line line{LineKind::other, Trim(raw), {}, {}};
  std::string_view text = line.text;
  if (text.empty()) {
    line.kind = LineKind::blank;
    return line;
  }
  if (text.front() == '[') {
    std::size_t close = text.rfind(']');
    if (close != std::string_view::npos) {  // "[broken" opens nothing and is kept as it is
      line.kind = LineKind::header;
      line.name = Trim(Between(text, 1, close));
      return line;
    }
  }
  std::size_t equals = text.find('=');
  if (equals != std::string_view::npos) {
    line.kind = LineKind::entry;
    line.name = Trim(Between(text, 0, equals));
    line.value = Trim(Between(text, equals + 1, text.size()));
  }
  return line;
}

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return TrimEnd(text);
}

bool IsUtf16(std::string_view image) {
  if (image.starts_with("\xFF\xFE") || image.starts_with("\xFE\xFF")) return true;
  // Without a mark: an INI file opens with an ASCII character (a '[', a ';', a key), which UTF-16
  // writes as that byte and a zero, in one order or the other. No single-byte text has a zero
  // there.
  return image.size() >= 2 && (image[0] == '\0') != (image[1] == '\0');
}

namespace {

// The file without its byte order mark.
std::string_view Body(std::string_view image) {
  if (image.starts_with(kByteOrderMark)) image.remove_prefix(kByteOrderMark.size());
  return image;
}

// How the start of a file is read: a byte order mark is skipped, a UTF-16 file is not touched.
enum class FileStart { plain, byteOrderMark, utf16 };

FileStart StartOf(std::string_view image) {
  if (IsUtf16(image)) return FileStart::utf16;
  return image.starts_with(kByteOrderMark) ? FileStart::byteOrderMark : FileStart::plain;
}

struct Location {
  bool found;
  std::string_view value;  // trimmed, quotes still on
};

// Finds key in the first section called section (names trimmed by the caller). Lines before the
// first header form the section with the empty name.
Location FindEntry(std::string_view body, std::string_view section, std::string_view key) {
  bool inSection = section.empty();
  std::string_view raw;
  while (NextLine(body, raw)) {
    Line line = Classify(raw);
    if (line.kind == LineKind::header) {
      if (inSection) return {false, {}};  // the first section of that name has ended
      inSection = NamesMatch(line.name, section);
    } else if (inSection && line.kind == LineKind::entry && NamesMatch(line.name, key)) {
      return {true, line.value};
    }
  }
  return {false, {}};
}

// A bounded writer over one of the image buffers.
struct Output {
  char* data;
  std::size_t capacity;
  std::size_t length;
  bool overflow;  // something did not fit; the text is unusable
};

void Append(Output& out, std::string_view piece) {
  if (out.overflow || piece.size() > out.capacity - out.length) {
    out.overflow = true;
    return;
  }
  std::memcpy(out.data + out.length, piece.data(), piece.size());
  out.length += piece.size();
}

void AppendHeader(Output& out, std::string_view name) {
  Append(out, "[");
  Append(out, name);
  Append(out, "]");
  Append(out, kLineEnd);
}

void AppendEntry(Output& out, std::string_view key, std::string_view value) {
  Append(out, key);
  Append(out, "=");
  Append(out, value);
  Append(out, kLineEnd);
}

// Writes the normalised form of a line that the write does not change.
void AppendLine(Output& out, const Line& line) {
  switch (line.kind) {
    case LineKind::blank:
      return;
    case LineKind::header:
      AppendHeader(out, line.name);
      return;
    case LineKind::entry:
      AppendEntry(out, line.name, line.value);
      return;
    case LineKind::other:
      Append(out, line.text);
      Append(out, kLineEnd);
      return;
  }
}

// Applies one write (names and value trimmed) to image, writing the new image into out.
WriteOutcome ApplyWrite(std::string_view image, std::string_view section, std::string_view key,
                   std::string_view value, Output& out) {
  std::string_view body = Body(image);
  Location existing = FindEntry(body, section, key);
  if (existing.found && existing.value == value) return WriteOutcome::unchanged;

  Append(out, Between(image, 0, image.size() - body.size()));  // the byte order mark, if any
  bool inSection = section.empty();
  bool written = false;
  std::string_view raw;
  while (NextLine(body, raw)) {
    Line line = Classify(raw);
    if (line.kind == LineKind::header) {
      if (inSection && !written) {  // a new key goes after the last line of its section
        AppendEntry(out, key, value);
        written = true;
      }
      inSection = !written && NamesMatch(line.name, section);
    } else if (inSection && !written && line.kind == LineKind::entry &&
               NamesMatch(line.name, key)) {
      AppendEntry(out, line.name, value);  // the file's spelling of the key stays
      written = true;
      continue;
    }
    AppendLine(out, line);
  }
  if (!written) {
    if (!inSection) AppendHeader(out, section);
    AppendEntry(out, key, value);
  }
  return out.overflow ? WriteOutcome::tooLarge : WriteOutcome::changed;
}

}  // namespace

Found FindValue(std::string_view image, std::string_view section, std::string_view key) {
  const Location location = FindEntry(Body(image), Trim(section), Trim(key));
  return {location.found, location.found ? Unquote(location.value) : std::string_view()};
}

int IntegerOf(std::string_view value, int fallback) {
  if (value.empty()) return fallback;
  std::string_view digits = value;
  while (!digits.empty() && IsBlank(digits.front())) digits.remove_prefix(1);
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  std::uint32_t base = 10;
  if (digits.starts_with("0x")) {
    base = 16;
    digits.remove_prefix(2);
  }
  std::uint32_t result = 0;
  for (char c : digits) {
    std::uint32_t digit = 99;
    if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') digit = static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') digit = static_cast<std::uint32_t>(c - 'A' + 10);
    if (digit >= base) break;
    result = result * base + digit;
  }
  if (negative) result = 0u - result;
  return static_cast<int>(result);  // modulo 2^32, as C++20 defines it
}

WriteOutcome ApplyWrites(WorkBuffers buffers, std::size_t fileLength, std::string_view section,
                         const ProfileEntry* entries, int count, std::string_view& rewritten) {
  rewritten = {};
  // A line end inside a name or value would split its line and break the file's structure.
  section = Trim(section);
  if (HasLineEnd(section)) return WriteOutcome::refused;
  for (int i = 0; i < count; ++i) {
    if (HasLineEnd(entries[i].key) || HasLineEnd(entries[i].value)) return WriteOutcome::refused;
  }
  char* current = buffers.first;
  char* spare = buffers.second;
  std::string_view image(current, fileLength);
  const FileStart start = StartOf(image);
  if (start == FileStart::utf16) return WriteOutcome::refused;
  bool changed = false;
  for (int i = 0; i < count; ++i) {
    Output out{spare, buffers.capacity, 0, false};
    const WriteOutcome outcome =
        ApplyWrite(image, section, Trim(entries[i].key), Trim(entries[i].value), out);
    if (outcome == WriteOutcome::refused || outcome == WriteOutcome::tooLarge) return outcome;
    if (outcome == WriteOutcome::changed) {
      image = std::string_view(spare, out.length);
      spare = current;
      current = out.data;
      changed = true;
    }
  }
  if (!changed) return WriteOutcome::unchanged;
  // Trimming the first line can bring a mark to the front ("\x1a\xFF\xFE...", " \xEF\xBB\xBF[SNAP]")
  // and change how the whole file reads; such a file is left as it is.
  if (StartOf(image) != start) return WriteOutcome::refused;
  rewritten = image;
  return WriteOutcome::changed;
}

WriteOutcome ApplyWritesAcross(WorkBuffers buffers, std::size_t fileLength,
                               const ProfileWrite* writes, int count, std::string_view& rewritten) {
  rewritten = {};
  std::size_t length = fileLength;
  bool changed = false;
  for (int i = 0; i < count; ++i) {
    std::string_view step;
    const WriteOutcome outcome =
        ApplyWrites(buffers, length, writes[i].section, &writes[i].entry, 1, step);
    if (outcome == WriteOutcome::refused || outcome == WriteOutcome::tooLarge) return outcome;
    if (outcome == WriteOutcome::changed) {
      // The next write starts from this one's file, in whichever buffer it lies.
      if (step.data() != buffers.first) {
        char* const spare = buffers.first;
        buffers.first = buffers.second;
        buffers.second = spare;
      }
      length = step.size();
      changed = true;
    }
  }
  if (!changed) return WriteOutcome::unchanged;
  rewritten = std::string_view(buffers.first, length);
  return WriteOutcome::changed;
}

}  // namespace zt::settings::ini

namespace zt::settings {

int ReadBackValue(std::string_view value, char* out) {
  const std::string_view read = ini::Unquote(ini::Trim(value));
  const std::size_t length = read.size() < kProfileValueCapacity ? read.size()
                                                                 : kProfileValueCapacity - 1;
  read.copy(out, length);
  out[length] = '\0';
  return static_cast<int>(length);
}

int IntegerOfValue(std::string_view text, int fallback) { return ini::IntegerOf(text, fallback); }

}  // namespace zt::settings
