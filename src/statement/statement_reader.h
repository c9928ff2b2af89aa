// Statement file reader: the statement to execute is stored in section
// SECTION of the statement file "KOLVADEX.<database system>.INI" in the working
// directory, split over the keys SQL001, SQL002, ... (past SQL999: SQL1000, ...).
//
// The keys are read in order until the first missing or empty one; the values
// are joined with one leading blank, single blanks between them and one
// trailing blank. A text of a single blank means that there is no statement.
#ifndef KOLVADEX_STATEMENT_STATEMENT_READER_H_
#define KOLVADEX_STATEMENT_STATEMENT_READER_H_

#include <optional>
#include <string>
#include <string_view>

#include "common/console_out.h"
#include "run/run_state.h"
#include "statement/profile.h"

namespace kolvadex::statement {

// "KOLVADEX." + database system + ".INI", or nullopt when the database system
// holds a path separator or "..", which could name a file elsewhere.
std::optional<std::string> StatementFileName(std::string_view database_system);

// The key of piece n (n >= 1): "SQL" and at least three digits.
std::string StatementKey(int n);

// Appends one blank and `value` to `text`.
void AppendStatement(std::string& text, std::string_view value);

// Joins the pieces of one section as described above.
std::string AssembleStatement(const ProfileSection& section);

// Reads the statement of `state.section_name` from the statement file of
// `state.database_system` in the working directory into `state.statement_text`.
// Returns 0, or 3 when there is none. With the trace switch it prints its
// trace lines; an unusable database system name, a statement file that exists
// but cannot be read, and a statement holding a zero byte get one line whether
// tracing or not. A zero byte is refused because the database interfaces end
// the statement there: the rest (a WHERE clause, say) would be dropped without
// a word, and the cut statement could change every row.
int GetIniValues(RunState& state, ConsoleOut out);

}  // namespace kolvadex::statement

#endif  // KOLVADEX_STATEMENT_STATEMENT_READER_H_
