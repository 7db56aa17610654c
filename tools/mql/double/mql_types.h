// mql_types.h - the terminal double's types and named constants: MQL's integer widths, the array
// an EA declares, the critical error, and every constant the shipped expert advisors name.
//
// Types keep their MQL widths: int 32 bits, long 64, color and uint unsigned 32, datetime a 64-bit
// count of seconds. An MQL "critical error" (array out of range, a DLL that will not load) stops
// the EA in a terminal; here it throws mql::CriticalError so the scenario fails loudly.
//
// Constants take the reference's number where it prints one (uninitialisation reasons, MarketInfo
// modes, OP_*, error and trade return codes, the ObjectSet indexes of OBJPROP_*). The property
// enumerations (TERMINAL_*, SYMBOL_*, CHART_*, OBJ_*, ACCOUNT_*, MQL_*, POSITION_*, DEAL_*) are
// listed there by name only: their numbers here are the double's own, and no EA may depend on them.
//
// The names a translated EA sees live in three namespaces. mql::shared holds what both languages
// have; mql::mql4 and mql::mql5 each add their own language's names to it, and a translated .mq4
// opens only mql::mql4, a .mq5 only mql::mql5. So an EA that uses a name of the other terminal's
// language fails to compile here, as MetaEditor would refuse it. The double's own machinery sits
// in mql itself, where no translated EA looks.
#pragma once

#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace mql {

// ---- both languages -----------------------------------------------------------------------------
namespace shared {

using uchar = unsigned char;
using ushort = unsigned short;
using uint = unsigned int;
using ulong = unsigned long;  // the same type as glibc's ulong, so the two names do not clash
static_assert(sizeof(ulong) == 8, "MQL ulong is 64 bits");
using color = uint;
using datetime = long long;
using string = std::string;

// docs.mql4.com/basis/function/events (OnInit return codes)
enum ENUM_INIT_RETCODE { INIT_SUCCEEDED = 0, INIT_FAILED = 1, INIT_PARAMETERS_INCORRECT = 2 };
// docs.mql4.com/constants/namedconstants/uninit (the reason OnDeinit receives)
enum {
  REASON_PROGRAM = 0,
  REASON_REMOVE = 1,
  REASON_RECOMPILE = 2,
  REASON_CHARTCHANGE = 3,
  REASON_CHARTCLOSE = 4,
  REASON_PARAMETERS = 5,
  REASON_ACCOUNT = 6,
  REASON_TEMPLATE = 7,
  REASON_INITFAILED = 8,
  REASON_CLOSE = 9
};
// docs.mql4.com/constants/objectconstants/webcolors
constexpr color clrNONE = 0xFFFFFFFFu, CLR_NONE = 0xFFFFFFFFu, clrSilver = 0xC0C0C0u,
                clrWhite = 0xFFFFFFu, clrRed = 0x0000FFu, clrYellow = 0x00FFFFu;
// docs.mql4.com/constants/objectconstants/enum_object
enum ENUM_OBJECT { OBJ_LABEL = 23 };
// docs.mql4.com/constants/objectconstants/enum_object_property
enum ENUM_OBJECT_PROPERTY_INTEGER {
  OBJPROP_COLOR = 6,
  OBJPROP_FONTSIZE = 100,
  OBJPROP_XDISTANCE = 102,
  OBJPROP_YDISTANCE = 103,
  OBJPROP_CORNER = 101,
  OBJPROP_SELECTABLE = 1000
};
enum ENUM_OBJECT_PROPERTY_STRING { OBJPROP_TEXT = 999, OBJPROP_FONT = 1001 };
// docs.mql4.com/constants/objectconstants/enum_basecorner
enum ENUM_BASE_CORNER {
  CORNER_LEFT_UPPER = 0,
  CORNER_LEFT_LOWER,
  CORNER_RIGHT_LOWER,
  CORNER_RIGHT_UPPER
};
// docs.mql4.com/constants/chartconstants/enum_chart_property
enum ENUM_CHART_PROPERTY_INTEGER { CHART_WINDOW_HANDLE = 0x100 };
constexpr int EMPTY = -1;
// docs.mql4.com/constants/io_constants/codepageusage: CP_ACP is the terminal's ANSI code page
// (Windows-1252 on a western Windows), the one a DLL's char texts are in
constexpr uint CP_ACP = 0, CP_UTF8 = 65001;
// docs.mql4.com/constants/environment_state/terminalstatus
enum ENUM_TERMINAL_INFO_INTEGER {
  TERMINAL_CONNECTED = 1,
  TERMINAL_DLLS_ALLOWED = 2,
  TERMINAL_TRADE_ALLOWED = 8,
  TERMINAL_EMAIL_ENABLED = 6,
  TERMINAL_NOTIFICATIONS_ENABLED = 26,
  TERMINAL_SCREEN_DPI = 27,
  TERMINAL_MQID = 22
};
// docs.mql4.com/constants/environment_state/marketinfoconstants
// www.mql5.com/en/docs/constants/environment_state/marketinfoconstants: the execution mode and
// the flags of the filling modes the symbol allows
enum ENUM_SYMBOL_INFO_INTEGER {
  SYMBOL_DIGITS = 17,
  SYMBOL_TRADE_EXEMODE = 33,
  SYMBOL_FILLING_MODE = 35
};
// The volume limits of a deal in lots: the least, the most and the step between volumes.
enum ENUM_SYMBOL_INFO_DOUBLE {
  SYMBOL_BID = 1,
  SYMBOL_ASK = 4,
  SYMBOL_POINT = 16,
  SYMBOL_VOLUME_MIN = 50,
  SYMBOL_VOLUME_MAX = 51,
  SYMBOL_VOLUME_STEP = 52
};
// docs.mql4.com/constants/environment_state/terminalstatus: the terminal's data folder
enum ENUM_TERMINAL_INFO_STRING { TERMINAL_DATA_PATH = 3 };
// docs.mql4.com/constants/environment_state/accountinformation: both languages read the account
// through AccountInfo*; MQL4 keeps its older AccountNumber() and the rest beside them.
enum ENUM_ACCOUNT_INFO_DOUBLE {
  ACCOUNT_BALANCE = 10,
  ACCOUNT_CREDIT = 11,
  ACCOUNT_EQUITY = 13,
  ACCOUNT_MARGIN = 14,
  ACCOUNT_MARGIN_FREE = 15
};
enum ENUM_ACCOUNT_INFO_INTEGER {
  ACCOUNT_LOGIN = 0,
  ACCOUNT_TRADE_ALLOWED = 32,
  ACCOUNT_TRADE_EXPERT = 33,
  ACCOUNT_LEVERAGE = 35
};
enum ENUM_ACCOUNT_INFO_STRING { ACCOUNT_SERVER = 3 };
// docs.mql4.com/constants/environment_state/mql4_programm_info
enum ENUM_MQL_INFO_INTEGER { MQL_DLLS_ALLOWED = 5, MQL_TRADE_ALLOWED = 6, MQL_TESTER = 7 };

}  // namespace shared

using namespace shared;

struct CriticalError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// An MQL array: dynamic ("T a[]") or fixed ("T a[N]"). bool is stored as char so that the bytes
// of every array are addressable, as the terminal's are.
template <class T>
class array {
 public:
  using stored = std::conditional_t<std::is_same_v<T, bool>, char, T>;
  array() = default;
  explicit array(int size) : values_(static_cast<size_t>(size)), fixed_(true) {}
  stored& operator[](int index) {
    if (index < 0 || index >= size()) throw CriticalError("array out of range");
    return values_[static_cast<size_t>(index)];
  }
  int size() const { return static_cast<int>(values_.size()); }
  bool fixed() const { return fixed_; }
  std::vector<stored>& values() { return values_; }
  stored* data() { return values_.data(); }

 private:
  std::vector<stored> values_;
  bool fixed_ = false;
};

// The bytes a DLL receives for a "uchar &text[]" parameter.
inline char* dll_bytes(array<uchar>& text) { return reinterpret_cast<char*>(text.data()); }

// ---- MQL4 only ----------------------------------------------------------------------------------
namespace mql4 {
using namespace shared;

// docs.mql4.com/constants/tradingconstants/orderproperties
enum { OP_BUY = 0, OP_SELL, OP_BUYLIMIT, OP_SELLLIMIT, OP_BUYSTOP, OP_SELLSTOP, OP_BALANCE };
// docs.mql4.com/trading/orderselect
enum { SELECT_BY_POS = 0, SELECT_BY_TICKET = 1, MODE_TRADES = 0, MODE_HISTORY = 1 };
// docs.mql4.com/constants/environment_state/marketinfoconstants
enum { MODE_POINT = 11, MODE_DIGITS = 12, MODE_BID = 9, MODE_ASK = 10 };
// docs.mql4.com/constants/errorswarnings/errorcodes
enum {
  ERR_NO_ERROR = 0,
  ERR_NO_CONNECTION = 6,
  ERR_INVALID_PRICE = 129,
  ERR_INVALID_TRADE_VOLUME = 131,
  ERR_MARKET_CLOSED = 132,
  ERR_TRADE_DISABLED = 133,
  ERR_REQUOTE = 138,
  ERR_TRADE_PROHIBITED_BY_FIFO = 150,
  ERR_INVALID_TICKET = 4108,
  ERR_TRADE_NOT_ALLOWED = 4109,
  ERR_TRADE_EXPERT_DISABLED_BY_SERVER = 4112
};

}  // namespace mql4

// ---- MQL5 only ----------------------------------------------------------------------------------
namespace mql5 {
using namespace shared;

// www.mql5.com/en/docs/constants/environment_state/accountinformation: only the 64-bit terminal
// knows netting and hedging accounts
constexpr ENUM_ACCOUNT_INFO_INTEGER ACCOUNT_MARGIN_MODE =
    static_cast<ENUM_ACCOUNT_INFO_INTEGER>(37);
enum ENUM_ACCOUNT_MARGIN_MODE {
  ACCOUNT_MARGIN_MODE_RETAIL_NETTING = 0,
  ACCOUNT_MARGIN_MODE_EXCHANGE = 1,
  ACCOUNT_MARGIN_MODE_RETAIL_HEDGING = 2
};
// www.mql5.com/en/docs/constants/tradingconstants/positionproperties
enum ENUM_POSITION_PROPERTY_INTEGER { POSITION_TIME_MSC = 1, POSITION_TYPE = 2 };
enum ENUM_POSITION_PROPERTY_DOUBLE { POSITION_VOLUME = 0 };
enum ENUM_POSITION_TYPE { POSITION_TYPE_BUY = 0, POSITION_TYPE_SELL = 1 };
enum ENUM_POSITION_PROPERTY_STRING { POSITION_SYMBOL = 0 };
// www.mql5.com/en/docs/constants/tradingconstants/orderproperties: an order's type (BUY and SELL
// are market orders, a close in flight among them) and the position a closing order closes
enum ENUM_ORDER_PROPERTY_INTEGER { ORDER_TYPE = 1, ORDER_POSITION_ID = 2 };
enum ENUM_ORDER_PROPERTY_DOUBLE { ORDER_VOLUME_CURRENT = 1 };
enum ENUM_ORDER_TYPE { ORDER_TYPE_BUY = 0, ORDER_TYPE_SELL = 1 };
enum ENUM_ORDER_PROPERTY_STRING { ORDER_SYMBOL = 0 };
// www.mql5.com/en/docs/constants/errorswarnings/enum_trade_return_codes
enum : uint {
  TRADE_RETCODE_REQUOTE = 10004,
  TRADE_RETCODE_PLACED = 10008,
  TRADE_RETCODE_DONE = 10009,
  TRADE_RETCODE_DONE_PARTIAL = 10010,
  TRADE_RETCODE_INVALID_VOLUME = 10014,
  TRADE_RETCODE_TRADE_DISABLED = 10017,
  TRADE_RETCODE_MARKET_CLOSED = 10018,
  TRADE_RETCODE_SERVER_DISABLES_AT = 10026,
  TRADE_RETCODE_CLIENT_DISABLES_AT = 10027,
  TRADE_RETCODE_CONNECTION = 10031,
  TRADE_RETCODE_INVALID = 10013,
  TRADE_RETCODE_INVALID_FILL = 10030,
  TRADE_RETCODE_CLOSE_ORDER_EXIST = 10039,
  TRADE_RETCODE_FIFO_CLOSE = 10045
};
// www.mql5.com/en/docs/constants/environment_state/marketinfoconstants (SYMBOL_FILLING_MODE is a
// combination of these flags; a Return order needs no flag, only an execution other than Market)
enum : uint { SYMBOL_FILLING_FOK = 1, SYMBOL_FILLING_IOC = 2 };
enum ENUM_SYMBOL_TRADE_EXECUTION {
  SYMBOL_TRADE_EXECUTION_REQUEST,
  SYMBOL_TRADE_EXECUTION_INSTANT,
  SYMBOL_TRADE_EXECUTION_MARKET,
  SYMBOL_TRADE_EXECUTION_EXCHANGE
};
// www.mql5.com/en/docs/constants/tradingconstants/orderproperties
enum ENUM_ORDER_TYPE_FILLING { ORDER_FILLING_FOK, ORDER_FILLING_IOC, ORDER_FILLING_RETURN };

// www.mql5.com/en/docs/constants/tradingconstants/dealproperties
enum ENUM_DEAL_PROPERTY_INTEGER { DEAL_TIME = 2, DEAL_TYPE = 5 };
enum ENUM_DEAL_PROPERTY_DOUBLE {
  DEAL_COMMISSION = 8,
  DEAL_SWAP = 9,
  DEAL_PROFIT = 10,
  DEAL_FEE = 11
};
// (every type the reference lists, in its order)
enum ENUM_DEAL_TYPE {
  DEAL_TYPE_BUY,
  DEAL_TYPE_SELL,
  DEAL_TYPE_BALANCE,
  DEAL_TYPE_CREDIT,
  DEAL_TYPE_CHARGE,
  DEAL_TYPE_CORRECTION,
  DEAL_TYPE_BONUS,
  DEAL_TYPE_COMMISSION,
  DEAL_TYPE_COMMISSION_DAILY,
  DEAL_TYPE_COMMISSION_MONTHLY,
  DEAL_TYPE_COMMISSION_AGENT_DAILY,
  DEAL_TYPE_COMMISSION_AGENT_MONTHLY,
  DEAL_TYPE_INTEREST,
  DEAL_TYPE_BUY_CANCELED,
  DEAL_TYPE_SELL_CANCELED,
  DEAL_DIVIDEND,
  DEAL_DIVIDEND_FRANKED,
  DEAL_TAX
};

}  // namespace mql5

// The scripted terminal files orders under MQL4's order types and refuses trades with MQL4's
// error codes (CTrade turns them into the 64-bit terminal's return codes): the scenarios of both
// EAs script it with these names.
using mql4::ERR_NO_ERROR, mql4::ERR_NO_CONNECTION, mql4::ERR_INVALID_PRICE,
    mql4::ERR_INVALID_TRADE_VOLUME, mql4::ERR_MARKET_CLOSED, mql4::ERR_TRADE_DISABLED,
    mql4::ERR_REQUOTE, mql4::ERR_TRADE_PROHIBITED_BY_FIFO, mql4::ERR_INVALID_TICKET,
    mql4::ERR_TRADE_NOT_ALLOWED, mql4::ERR_TRADE_EXPERT_DISABLED_BY_SERVER;
using mql4::OP_BUY, mql4::OP_SELL, mql4::OP_BUYLIMIT, mql4::OP_SELLLIMIT, mql4::OP_BUYSTOP,
    mql4::OP_SELLSTOP, mql4::OP_BALANCE;

}  // namespace mql
