// Private-profile (INI) files on POSIX systems: the settings store's reads and writes, behaving
// like the Windows private-profile service so that a settings file means the same on both builds.
//
// How a file is read: lines end at CR LF, LF or a lone CR; every line is trimmed of blanks; a
// line "[name]" opens the section name (text after the last ']' is dropped); a line "key=value"
// holds a value; any other line is kept but never read. Section and key names match without
// regard to ASCII case. When a section or a key appears twice, the first one counts. A UTF-8
// byte order mark is skipped on reading and kept on writing.
//
// How a file is written: a write that changes nothing leaves the file alone, byte for byte. Any
// other write rewrites the whole file the way the Windows service does: CR LF line ends, blank
// lines dropped, every line trimmed, entries as "key=value", headers as "[name]", all other lines
// in their place. A new key goes after the last line of its section, a new section at the end.
// The new text goes to a temporary file beside the old one, is flushed to disk and then renamed
// over it, so a crash leaves either the old file or the new one, never a part of one.
//
// The library allocates nothing: the file image lives in fixed static buffers, which also makes
// these services non-reentrant (the guard runs on one host thread). A file larger than the buffer
// is never touched: reads give the fallback and writes fail, because rewriting only the part we
// could hold would destroy the rest.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // rename only
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace zt::platform {
namespace {

// Largest settings file we read or write. The guard's own file is under 200 bytes; this leaves
// room for hand-edited files with very long lines while keeping the static footprint modest.
constexpr std::size_t kProfileFileCapacity = std::size_t{4} << 20;

// Longest path of the temporary file, NUL included (PATH_MAX on Linux).
constexpr std::size_t kProfilePathCapacity = 4096;

// Permissions of a file we create; the process umask applies on top.
constexpr mode_t kNewFileMode = 0666;

// Most characters a read returns: the value buffer less its NUL.
constexpr std::size_t kReadLimit = static_cast<std::size_t>(kProfileValueCapacity) - 1;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

// Two file images: the one read from disk, and the rewrite. A batch of writes applies its entries
// one after the other, each turning the current image into the other buffer.
char images[2][kProfileFileCapacity];
char temporaryPath[kProfilePathCapacity];

// ---- Text helpers -----------------------------------------------------------------------------

// The blanks the Windows service trims around lines, names and values; Ctrl-Z is the old DOS end
// of file marker that it treats as a blank too.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a'; }

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return TrimEnd(text);
}

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

bool HasLineEnd(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// One pair of matching outer quotes, double or single, is not part of a value.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return Between(value, 1, value.size() - 1);
  }
  return value;
}

// ---- Lines ------------------------------------------------------------------------------------

enum class LineKind { blank, header, entry, other };

struct Line {
  LineKind kind;
  std::string_view text;   // the whole line, trimmed
  std::string_view name;   // header: the section name; entry: the key (trimmed)
  std::string_view value;  // entry: everything after the first '=' (trimmed)
};

// Takes the next line off rest, without its line end. False when nothing is left.
bool NextLine(std::string_view& rest, std::string_view& line) {
  if (rest.empty()) return false;
  std::size_t end = rest.find_first_of("\r\n");
  if (end == std::string_view::npos) {
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

// The file without its byte order mark.
std::string_view Body(std::string_view image) {
  if (image.starts_with(kByteOrderMark)) image.remove_prefix(kByteOrderMark.size());
  return image;
}

// A UTF-16 file would be torn apart by a byte-wise rewrite; we leave such files alone.
bool IsUtf16(std::string_view image) {
  return image.starts_with("\xFF\xFE") || image.starts_with("\xFE\xFF");
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

// ---- Rewriting --------------------------------------------------------------------------------

// A bounded writer over one of the image buffers.
struct Output {
  char* data;
  std::size_t length;
  bool overflow;  // something did not fit; the text is unusable
};

void Append(Output& out, std::string_view piece) {
  if (out.overflow || piece.size() > kProfileFileCapacity - out.length) {
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

enum class Outcome { unchanged, changed, tooLarge };

// Applies one write (names and value trimmed) to image, writing the new image into out.
Outcome ApplyWrite(std::string_view image, std::string_view section, std::string_view key,
                   std::string_view value, Output& out) {
  std::string_view body = Body(image);
  Location existing = FindEntry(body, section, key);
  if (existing.found && existing.value == value) return Outcome::unchanged;

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
  return out.overflow ? Outcome::tooLarge : Outcome::changed;
}

// ---- Files ------------------------------------------------------------------------------------

// Reads the whole open file into buffer. False when it is not a regular file, is larger than the
// buffer or cannot be read. mode receives its permission bits.
bool ReadWhole(int file, char* buffer, std::size_t& length, mode_t& mode) {
  struct stat status {};
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0 ||
      static_cast<std::uintmax_t>(status.st_size) > kProfileFileCapacity) {
    return false;
  }
  mode = status.st_mode & 0777;
  std::size_t wanted = static_cast<std::size_t>(status.st_size);
  length = 0;
  while (length < wanted) {
    ssize_t got = read(file, buffer + length, wanted - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;  // the file shrank since fstat
    length += static_cast<std::size_t>(got);
  }
  return true;
}

// Opens and reads the file at path for reading only. False when it is missing or unusable.
bool LoadForReading(const char* path, std::string_view& image) {
  if (path == nullptr || *path == '\0') return false;
  int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  std::size_t length = 0;
  mode_t mode = 0;
  bool loaded = ReadWhole(file, images[0], length, mode);
  close(file);
  image = std::string_view(images[0], length);
  return loaded && !IsUtf16(image);
}

bool WriteAll(int file, std::string_view text) {
  while (!text.empty()) {
    ssize_t put = write(file, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// The temporary file beside path: path.<process id>.tmp, so that two processes never write into
// the same one. False when the name does not fit.
bool MakeTemporaryPath(const char* path) {
  std::size_t length = std::strlen(path);
  char* end = temporaryPath + kProfilePathCapacity;
  if (length + 1 >= kProfilePathCapacity) return false;
  std::memcpy(temporaryPath, path, length);
  char* cursor = temporaryPath + length;
  *cursor++ = '.';
  std::to_chars_result digits = std::to_chars(cursor, end, getpid());
  if (digits.ec != std::errc{}) return false;
  constexpr std::string_view kSuffix = ".tmp";
  if (static_cast<std::size_t>(end - digits.ptr) < kSuffix.size() + 1) return false;
  std::memcpy(digits.ptr, kSuffix.data(), kSuffix.size());
  digits.ptr[kSuffix.size()] = '\0';
  return true;
}

// Replaces the file at path by text through a flushed temporary file. On failure the temporary
// file is removed and the old file is unchanged.
bool ReplaceFile(const char* path, std::string_view text, mode_t mode) {
  if (!MakeTemporaryPath(path)) return false;
  int file = open(temporaryPath, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
  if (file < 0) return false;
  bool written = WriteAll(file, text) && fsync(file) == 0;
  written = close(file) == 0 && written;
  if (written && std::rename(temporaryPath, path) == 0) return true;
  unlink(temporaryPath);
  return false;
}

}  // namespace

// ---- The three services -----------------------------------------------------------------------

int ReadProfileString(const char* path, std::string_view section, std::string_view key,
                      std::string_view fallback, char* out) {
  std::string_view value = TrimEnd(fallback);  // the service trims only the fallback's end
  std::string_view image;
  if (LoadForReading(path, image)) {
    Location found = FindEntry(Body(image), Trim(section), Trim(key));
    if (found.found) value = Unquote(found.value);
  }
  std::size_t length = value.size() < kReadLimit ? value.size() : kReadLimit;
  std::memcpy(out, value.data(), length);
  out[length] = '\0';
  return static_cast<int>(length);
}

int ReadProfileInt(const char* path, std::string_view section, std::string_view key,
                   int fallback) {
  char text[kProfileValueCapacity];
  int length = ReadProfileString(path, section, key, "", text);
  if (length == 0) return fallback;

  // Leading blanks, one sign, "0x" (lower case only) for hexadecimal, then digits up to the first
  // character that is not one. Like the Windows service, the value wraps modulo 2^32.
  std::string_view digits(text, static_cast<std::size_t>(length));
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
  std::uint32_t value = 0;
  for (char c : digits) {
    std::uint32_t digit = 99;
    if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') digit = static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') digit = static_cast<std::uint32_t>(c - 'A' + 10);
    if (digit >= base) break;
    value = value * base + digit;
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);  // modulo 2^32, as C++20 defines it
}

bool WriteProfileStrings(const char* path, std::string_view section, const ProfileEntry* entries,
                         int count) {
  if (path == nullptr || *path == '\0' || count < 0 || (count > 0 && entries == nullptr)) {
    return false;
  }
  // A line end inside a name or value would split its line and break the file's structure.
  section = Trim(section);
  if (HasLineEnd(section)) return false;
  for (int i = 0; i < count; ++i) {
    if (HasLineEnd(entries[i].key) || HasLineEnd(entries[i].value)) return false;
  }

  // A file we may read but not write can still take a write that changes nothing.
  bool writable = true;
  int file = open(path, O_RDWR | O_CLOEXEC);
  if (file < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    writable = false;
    file = open(path, O_RDONLY | O_CLOEXEC);
  }
  std::size_t length = 0;
  mode_t mode = kNewFileMode;  // a rewrite keeps the old file's permission bits (less the umask)
  if (file >= 0) {
    bool loaded = ReadWhole(file, images[0], length, mode);
    close(file);
    if (!loaded) return false;
  } else if (errno != ENOENT) {
    return false;  // a missing file is created; a missing folder fails when we create the file
  }

  int current = 0;
  std::string_view image(images[current], length);
  const FileStart start = StartOf(image);
  if (start == FileStart::utf16) return false;
  bool changed = false;
  for (int i = 0; i < count; ++i) {
    Output out{images[1 - current], 0, false};
    Outcome outcome = ApplyWrite(image, section, Trim(entries[i].key), Trim(entries[i].value), out);
    if (outcome == Outcome::tooLarge) return false;
    if (outcome == Outcome::changed) {
      current = 1 - current;
      image = std::string_view(images[current], out.length);
      changed = true;
    }
  }
  if (!changed) return true;
  // Trimming the first line can bring a mark to the front ("\x1a\xFF\xFE...", " \xEF\xBB\xBF[SNAP]")
  // and change how the whole file reads; such a file is left as it is.
  if (StartOf(image) != start) return false;
  if (!writable) return false;
  return ReplaceFile(path, image, mode);
}

}  // namespace zt::platform
