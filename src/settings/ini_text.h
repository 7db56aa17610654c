// The text of an INI file, as the Windows private-profile service reads and rewrites it, over
// plain strings: the store (profile_store.cpp) only loads a file into memory, hands it here, and
// stores what comes back. Tests feed it strings.
//
// How a file is read: lines end at CR LF, LF or a lone CR; every line is trimmed of blanks; a
// line "[name]" opens the section name (text after the last ']' is dropped); a line "key=value"
// holds a value; any other line is kept but never read. Section and key names match without
// regard to ASCII case. When a section or a key appears twice, the first one counts. Lines before
// the first header form the section with the empty name. A UTF-8 byte order mark is skipped on
// reading and kept on writing; a UTF-16 file (with a byte order mark or without) is never read or
// written.
//
// How a file is written: a write that changes nothing leaves the file alone, byte for byte. Any
// other write rewrites the whole file the way the Windows service does: CR LF line ends, blank
// lines dropped, every line trimmed, entries as "key=value", headers as "[name]", all other lines
// in their place. A new key goes after the last line of its section, a new section at the end.
#pragma once

#include <cstddef>
#include <string_view>

#include "settings/profile_store.h"

namespace zt::settings::ini {

// ---- Lines --------------------------------------------------------------------------------------

enum class LineKind { blank, header, entry, other };

struct Line {
  LineKind kind;
  std::string_view text;   // the whole line, trimmed
  std::string_view name;   // header: the section name; entry: the key (trimmed)
  std::string_view value;  // entry: everything after the first '=' (trimmed, quotes still on)
};

// The class of one line (without its line end) and its parts.
Line Classify(std::string_view raw);

// The blanks the service trims around lines, names and values (Ctrl-Z, the old DOS end-of-file
// marker, among them).
std::string_view Trim(std::string_view text);
std::string_view TrimEnd(std::string_view text);

// ---- Reading ------------------------------------------------------------------------------------

// A file in UTF-16, which the store neither reads nor rewrites: it starts with a UTF-16 byte order
// mark, or without one with a character and a zero byte (an ASCII character in UTF-16 LE or BE).
bool IsUtf16(std::string_view image);

struct Found {
  bool found;              // the section holds the key
  std::string_view value;  // trimmed, one pair of matching outer quotes taken off
};

// Finds key in the first section called section (both trimmed here) of a whole file image.
Found FindValue(std::string_view image, std::string_view section, std::string_view key);

// A value read as the service's integer read does: leading blanks, one sign, "0x" (lower case
// only) for hexadecimal, digits up to the first character that is not one, wrapping modulo 2^32:
// "2.7" is 2, "12abc" 12, "abc" 0. The empty value gives fallback.
int IntegerOf(std::string_view value, int fallback);

// ---- Writing ------------------------------------------------------------------------------------

enum class WriteOutcome {
  unchanged,  // every entry already holds its value: leave the file alone
  changed,    // the rewritten file is ready
  refused,    // the file must not be rewritten: it is UTF-16, a name or value holds a line end,
              // or trimming would change how the file starts
  tooLarge,   // the rewrite would not fit the buffers: leave the file alone
};

// Two buffers of capacity bytes: first holds the file as read; the rewrite alternates between
// them, one entry at a time.
struct WorkBuffers {
  char* first;
  char* second;
  std::size_t capacity;
};

// Applies the entries, in order, to the file of fileLength bytes in buffers.first, as that many
// single writes of the service would. On changed, rewritten views the new file inside one of the
// buffers; otherwise it is empty.
WriteOutcome ApplyWrites(WorkBuffers buffers, std::size_t fileLength, std::string_view section,
                         const ProfileEntry* entries, int count, std::string_view& rewritten);

// ApplyWrites for entries of several sections, each write applied in order as a single one.
WriteOutcome ApplyWritesAcross(WorkBuffers buffers, std::size_t fileLength,
                               const ProfileWrite* writes, int count, std::string_view& rewritten);

}  // namespace zt::settings::ini
