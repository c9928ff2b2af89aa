// The exit statuses of the tool: how far a run got. Schedulers rely on these
// numbers; they are decided here and nowhere else.
#ifndef KOLVADEX_RUN_EXIT_STATUS_H_
#define KOLVADEX_RUN_EXIT_STATUS_H_

namespace kolvadex {

enum ExitStatus : int {
  kExitConnectFailed = 0,     // connecting or switching the schema failed
  kExitUsage = 1,             // wrong command line; header and usage were printed
  kExitNoStatement = 3,       // the statement file yielded no statement
  kExitStatementFailed = 4,   // the statement, the commit or the tool itself failed; rolled back
  kExitCompleted = 58,        // the statement was executed and committed
};

}  // namespace kolvadex

#endif  // KOLVADEX_RUN_EXIT_STATUS_H_
