// scenario.hpp - the command language of scenario files and of the control
// socket: one command per line, words separated by blanks, "double quotes"
// around a word that holds blanks (\" and \\ inside), '#' starts a comment
// line.  The commands are listed in sim/README.md.
#ifndef FDK_SIM_SCENARIO_HPP
#define FDK_SIM_SCENARIO_HPP

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fapi_types.h"

namespace fdk::sim {

enum class Op {
    Callback,     // init, command, message, dialog, quit, notify4, callback
    Event,        // event NOTIFICATION DOC FILE PARAM
    WaitOver,     // wait over [TIMEOUT]
    WaitJournal,  // wait journal PATTERN [TIMEOUT]
    Sleep,        // sleep MS
    Fail,         // fail PROC ERRSTATUS
    Drop,         // drop PROC
    Cut,          // cut PROC [OFFSET]
    Delay,        // delay PROC MS
    Set,          // set OBJ PROP TYPE VALUE
    Empty,        // empty OBJ PROP
    Open,         // open PATH
    Vanish,
    Exit,
    Shutdown,
    Status,
};

// An object named in a command: a handle, the session or the active document.
struct ObjRef {
    enum Kind { Handle, Active } kind = Handle;
    F_ObjIdT id = 0;  // Handle: the handle (0 = the session)
};

struct Command {
    Op op = Op::Status;
    std::string source;  // the line as written
    int line = 0;        // line number in a scenario file (0 for control)

    int proc = 0;        // callback procedure; fault procedure
    IntT a = 0, b = 0, c = 0;  // integer fields (callback fields, fault status, times)
    std::string text;    // message text, file name, pattern, path
    ObjRef doc;          // message/event/notify4 document; set/empty object
    double timeout = 30; // waits, seconds
    // set/empty: property by number (num != 0) or name
    IntT num = 0;
    std::string name;
    IntT type = 0;
    nlohmann::json value;
};

inline constexpr double kDefaultWaitSeconds = 30;

// Splits a line into words; false with a message on an unterminated quote or
// a bad escape.  `rest` (if given) receives, for each word, the text of the
// line from that word on.  After `max_words` words the splitting stops; the
// remaining text is then only in `rest`.
bool split_words(const std::string &line, std::vector<std::string> &words, std::string &error,
                 std::vector<std::string> *rest = nullptr, size_t max_words = SIZE_MAX);

// Parses one line.  nullopt for a blank or comment line (error stays empty)
// or for a bad line (error says why).
std::optional<Command> parse_command(const std::string &line, std::string &error);

// Parses a whole scenario; false with "line N: message" on the first bad line.
bool parse_scenario(const std::string &text, std::vector<Command> &out, std::string &error);

// Whether a callback procedure is answered by the client and followed by an
// over call (2, 3, 4, 6, 7), answered without a turn (0, 1), or not answered
// (5).  Procedures above 7 are answered with an RPC error.
bool callback_expects_over(int proc);
bool callback_expects_reply(int proc);
const char *callback_name(int proc);

}  // namespace fdk::sim

#endif
