/*
 * zentravo.h - the public boundary of the Zentravo equity guard.
 *
 * A host (an expert-advisor script inside a trading terminal) loads the library and drives it:
 *
 *   InitZT(...)                          once at start; 0.0 means "no usable equity, not started"
 *   loop:
 *     r = SetEquity(eq, margin, free, 0) every tick (monitoring mode)
 *     r == ZT_STOP_LOSS_HIT or ZT_TAKE_PROFIT_HIT:
 *         close all trades, then
 *         SetTTC(closeMs, equityLeft); GetAlert(1 or 2, text);
 *         if (SetEquity(equityLeft, 0, 0, 1) == ZT_INCREASE_REACHED) GetAlert(3, text);
 *     r == ZT_DRAWDOWN_STEP: GetAlert(4, text) if the host shows it
 *   any time: GetLabel / GetValue for the dashboard, GetIndex, GetEquitySnap,
 *             SetEmailProp + GetEmailSubject + GetEmailText for e-mails, SetLastValues.
 *
 * Conventions every export keeps:
 * - Calls come from one host thread, one at a time. All state is process-wide: every chart of a
 *   terminal shares the one loaded library, so attach the guard to one chart only.
 * - Every text-out buffer must hold at least ZT_TEXT_CAPACITY bytes. The library never writes
 *   more than that (a longer text is cut, always NUL-terminated); an operation that has nothing to
 *   say writes nothing at all and the buffer keeps its bytes.
 * - A null text-in pointer is the empty text; a null out pointer receives nothing.
 * - Texts are single-byte, formatted the same way in every host locale (a point as the decimal
 *   separator, English day and month names).
 * - On Windows every export is stdcall and exported under its plain, undecorated name.
 */
#ifndef ZENTRAVO_H
#define ZENTRAVO_H

#if defined(_WIN32)
#define ZT_CALL __stdcall
#else
#define ZT_CALL
#endif

#if defined(ZT_BUILDING_LIBRARY)
#if defined(_WIN32)
#define ZT_EXPORT
#else
#define ZT_EXPORT __attribute__((visibility("default")))
#endif
#else
#define ZT_EXPORT
#endif

/* Size in bytes, terminating NUL included, of every text buffer a host passes. */
#define ZT_TEXT_CAPACITY 512

/* Results of SetEquity. In snapshot mode 1 means ZT_INCREASE_REACHED. */
#define ZT_NO_ACTION 0
#define ZT_STOP_LOSS_HIT 1
#define ZT_INCREASE_REACHED 1
#define ZT_TAKE_PROFIT_HIT 2
#define ZT_DRAWDOWN_STEP 3

#ifdef __cplusplus
extern "C" {
#endif

/* Starts (or restarts) the guard. Reads the settings file beside the library, settles the
 * snapshot (a positive stored "Equity Snap" wins over `equity`) and the initial equity (a
 * positive *initialEquity wins over the file, which wins over the snapshot), parses the four
 * target texts, restores the take-profit and drawdown positions, and reads the terminal identity
 * from the chart's window titles. Returns the snapshot; 0.0 when neither a stored snapshot nor
 * `equity` is positive, and then nothing but the host tag has changed and *initialEquity is left
 * alone. On success *initialEquity receives the initial equity settled on.
 * Target texts: take profits and drawdown targets as sets, "50,30;80,60" (';' opens the next of
 * up to 8 sets, up to 32 amounts each); increase targets and stop losses as lists of up to 8
 * positive amounts, "1100,1200". Any character other than a digit or '.' separates numbers. */
ZT_EXPORT double ZT_CALL InitZT(int chartHandle, const char* hostTag, double* initialEquity,
                                double equity, double margin, double freeMargin,
                                const char* takeProfits, const char* drawdownTargets,
                                const char* increaseTargets, const char* stopLosses);

/* Every tick, mode 0 (monitoring): records the figures and the running extremes and answers
 * ZT_NO_ACTION, ZT_STOP_LOSS_HIT or ZT_TAKE_PROFIT_HIT (close all trades; the cycle's statistics
 * are already recorded) or ZT_DRAWDOWN_STEP (the drawdown target moved on one position).
 * After a close-all, mode 1 (snapshot): `equity` becomes the new snapshot and a new close cycle
 * opens; ZT_INCREASE_REACHED when it reached the next increase target and the sets advanced.
 * A non-positive or non-finite equity changes nothing and answers ZT_NO_ACTION. */
ZT_EXPORT int ZT_CALL SetEquity(double equity, double margin, double freeMargin, int mode);

/* Overwrites the persisted values in the settings file ("Equity Snap" only when snapshot is
 * positive and finite, then the four indices). The running guard is not changed; the values take
 * effect at the next InitZT. */
ZT_EXPORT void ZT_CALL SetLastValues(double snapshot, int tpSet, int tpIndex, int ddSet,
                                     int ddIndex);

/* After closing all trades: how long the close took (milliseconds) and the equity left, for the
 * alerts of kinds 1 and 2. Returns closeDurationMs unchanged. */
ZT_EXPORT int ZT_CALL SetTTC(int closeDurationMs, double equity);

/* The host's own e-mail thresholds, named in the e-mail texts. The library never decides that an
 * e-mail is due. */
ZT_EXPORT void ZT_CALL SetEmailProp(double equityTarget, double marginPercent, double drawdown);

/* The current snapshot; 0.0 before the guard has started. */
ZT_EXPORT double ZT_CALL GetEquitySnap(void);

/* Writes the take-profit set and position and the drawdown set and position. A null pointer
 * receives nothing. */
ZT_EXPORT void ZT_CALL GetIndex(int* tpSet, int* tpIndex, int* ddSet, int* ddIndex);

/* Alert line of a kind: 1 stop loss closed, 2 take profit closed (both after SetTTC, before the
 * snapshot call), 3 increase target reached (after ZT_INCREASE_REACHED), 4 drawdown target
 * reached (after ZT_DRAWDOWN_STEP). "Error: zero equity" while equity or snapshot is not
 * positive; any other kind writes nothing. */
ZT_EXPORT void ZT_CALL GetAlert(int kind, char* text);

/* E-mail subject of a kind: 0 equity target, 1 margin, 2 drawdown; others write nothing. */
ZT_EXPORT void ZT_CALL GetEmailSubject(int kind, char* text);

/* One e-mail body line, ending in "\n": part 0 the reason (depends on kind 0-2), 1 snapshot and
 * equity, 2 drawdown and targets, 3 increase target (the host's `increaseTarget`) and stop loss,
 * 4 margin used, 5 pair. Other parts write nothing. */
ZT_EXPORT void ZT_CALL GetEmailText(int part, int kind, double increaseTarget, char* text);

/* Dashboard label of a cell: column 0 rows 0-15 (row 0 is the title line), any other column is
 * the second column, rows 0-13. Rows outside a column write the empty text. */
ZT_EXPORT void ZT_CALL GetLabel(int row, int column, char* text);

/* Dashboard value of a cell, formatted from the guard's state. Writes nothing before the guard
 * has started, and for cells without a value. */
ZT_EXPORT void ZT_CALL GetValue(int row, int column, char* text);

#if !defined(_WIN32)
/* Linux hosts only: there are no terminal windows, so a host names the titles that InitZT reads
 * for a chart handle: the chart frame's ("EURUSD,H1") and the terminal main window's
 * ("123456: Broker Server - Demo Account"). Null titles are empty. Up to 8 charts are kept; a
 * known handle is overwritten. */
ZT_EXPORT void ZT_CALL SetWindowTitles(int chartHandle, const char* frameTitle,
                                       const char* mainTitle);
#endif

#ifdef __cplusplus
}
#endif

#endif /* ZENTRAVO_H */
