// The host's status panel: two columns of cells, each a label and a value.
//
// Column 0 has rows 0-15 (row 0 is the title line, row 15 the notice line); every other column
// number (1, 2, -1, ...) is the second column, rows 0-13. The host redraws the whole panel every
// tick, so both writers allocate nothing, look up no locale and convert each shown second to local
// time once (CachedLocalTime).
//
// Both take their destination and its capacity in bytes (non-null, > 0), cut a longer text to
// capacity - 1 characters, always NUL-terminate what they write, and change no state.
#pragma once

namespace zt::texts {

// Writes the label of a cell. Row 0 of column 0 is the title, "Zentravo - 3.0 (<hostTag>) " and
// the current local time as "Wed, Jul 13, 2011 09:39:05" (English names, every locale); when the
// clock's time cannot be converted the time reads "---, --- --, ---- --:--:--". Row 15 of column
// 0, the notice line, reads "Zentravo equity guard" while guard.persistence reports every file
// saved, and otherwise names the trouble within 63 characters: the settings file's first
// ("Settings pending: file locked", "Settings not saved: read-only", "... file too large:
// <file name>", "Started without saved settings: file locked"), then where a file the start could
// not read was kept ("Unread settings kept in <file name>"), then "Statistics file not written",
// then that a start resumed its file late. A cell without a label, and a row outside its column,
// writes the empty text (a single NUL).
void WriteLabel(int row, int column, char* out, int capacity);

// Writes the value of a cell, formatted from the guard's state now. Writes nothing at all (the
// buffer keeps every byte) while snapshot, equity or initialEquity is exactly 0.0 (the guard has
// not started; this also keeps every division below away from zero), and for every cell that has
// no value: in column 0 every row but 3-7 and 9-13, in column 1 every row but 2-5, 8 and 11.
void WriteValue(int row, int column, char* out, int capacity);

}  // namespace zt::texts
