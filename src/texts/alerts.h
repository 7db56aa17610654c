// Alert lines and e-mail texts: what the host shows after a guard event and what it sends.
//
// Every writer takes its destination and the destination's capacity in bytes (non-null, > 0).
// When it has a text it writes it, cut to capacity - 1 characters and always NUL-terminated; when
// it has nothing to say it writes nothing at all, and the buffer keeps every byte it held. Numbers are written
// as the C formatting rules in the "C" locale give them, whatever locale the process has set.
// None of them changes the guard's state.
#pragma once

namespace zt::texts {

// The alert line of a kind: 1 stop loss closed, 2 take profit closed (both meant for the moment
// after SetTTC and before the snapshot roll: snapshot is the cycle's, equity the one left),
// 3 increase target reached (after the roll), 4 drawdown target reached.
// While equity or snapshot is not greater than 0 it writes "Error: zero equity", whatever the
// kind. Otherwise any other kind writes nothing, and so does kind 3 while no increase target has
// been passed (increaseIndex 0 or less): there is no target to name.
void WriteAlert(int kind, char* out, int capacity);

// The subject of an e-mail kind: 0 equity target, 1 margin, 2 drawdown, naming the host's
// threshold, the account number and the server text. Any other kind writes nothing.
void WriteEmailSubject(int kind, char* out, int capacity);

// One body line of an e-mail, ending in '\n' (unless cut): part 0 the reason (kinds 0-2 only),
// 1 snapshot and equity, 2 drawdown and targets, 3 the host's current increaseTarget and the stop
// loss, 4 margin used, 5 pair. Parts 1-5 ignore kind. Part 0 of another kind and any other part
// write nothing.
void WriteEmailLine(int part, int kind, double increaseTarget, char* out, int capacity);

}  // namespace zt::texts
