// The tool's own stages in-process: command line, the four credential lookups
// (keying and deciphering included), statement assembly and substitution, for a
// typical run and for large inputs. The database work is measured by the
// whole-run comparison (bench/compare.cpp), not here.
//
// After the usual table it prints the targets: a typical run's own stages,
// its two files read from disk included, under 0.5 ms; and every stage linear
// in its input, shown by the cost per unit of input (record, byte) of a large
// input next to that of one 10 to 100 times smaller.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/console_out.h"
#include "common/text_file.h"
#include "credentials/cipher.h"
#include "credentials/credential_file.h"
#include "run/command_line.h"
#include "statement/profile.h"
#include "statement/statement_reader.h"
#include "statement/substitution.h"

namespace kolvadex {
namespace {

// The four records a run asks for.
std::string RealRecords(std::string_view service, std::string_view database_system) {
  std::string text;
  int number = 1;
  for (const auto& [key, value] : {std::pair<std::string_view, std::string_view>{"NET8", service},
                                   {"LOGIN", "batch"},
                                   {"PASS", "secret-password"},
                                   {"DB_SYSTEM", database_system}}) {
    text += "QV;KOLVADEX;x\n" + std::to_string(number++) + ";" + std::string(key) + ";" +
            credentials::EncryptValue(value) + "\n";
  }
  return text;
}

// A credential file of `records` records; the four real ones come last, so
// every lookup scans the whole file.
std::string CredentialText(std::int64_t records) {
  std::string text;
  for (std::int64_t i = 4; i < records; ++i) text += "H;OTHER;x\n7;OTHER;0011223344556677\n";
  return text + RealRecords("/srv/qv/app.db", "SQLITE");
}

std::string StatementFile(std::int64_t keys, std::int64_t value_size) {
  std::string text = "[OTHER]\nSQL001=UPDATE X SET Y = 1\n[S]\n";
  const std::string value(static_cast<std::size_t>(value_size), 'v');
  for (std::int64_t n = 1; n <= keys; ++n) {
    text += statement::StatementKey(static_cast<int>(n)) + "=" + value + "\n";
  }
  return text;
}

const char* const kTypicalStatements =
    "; Statements of the batch jobs\n"
    "[GETTERM]\n"
    "SQL001=UPDATE TERM SET STATE = 'closed'\n"
    "SQL002=WHERE NAME = '$parm01'\n";

ConsoleOut Discard() {
  return {nullptr, [](void* /*sink*/, std::string_view /*text*/) {}};
}

void BM_CommandLine(benchmark::State& state) {
  const std::vector<std::string_view> args = {"kolvadex", "GETTERM", "QV.INI", "Parameter01", "42"};
  for (auto _ : state) {
    RunState run;
    benchmark::DoNotOptimize(CheckArguments(args, run, Discard()));
  }
}
BENCHMARK(BM_CommandLine);

void BM_CredentialLookups(benchmark::State& state) {
  const std::string text = CredentialText(state.range(0));
  for (auto _ : state) {
    for (const char* key : {"NET8", "LOGIN", "PASS", "DB_SYSTEM"}) {
      benchmark::DoNotOptimize(credentials::GetDbValue(text, "", key, 0));
    }
  }
  state.SetBytesProcessed(state.iterations() * 4 * static_cast<std::int64_t>(text.size()));
  state.counters["records"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_CredentialLookups)
    ->Arg(4)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

// Deciphering one value under the fixed key, whose schedule the compiler
// worked out: the context is copied and wiped, not keyed.
void BM_DecipherValue(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(credentials::DecryptValue("0011223344556677"));
}
BENCHMARK(BM_DecipherValue)->Unit(benchmark::kMicrosecond);

// What keying costs when it is done at run time (any other key): 521 block
// encryptions. Each lookup of a run paid this before the fixed key's schedule
// was compiled in.
void BM_KeyingAtRunTime(benchmark::State& state) {
  const std::string_view key = credentials::kValueKey;
  const std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(key.data()),
                                             key.size());
  credentials::BlowfishContext context;
  for (auto _ : state) {
    credentials::BlowfishInit(context, bytes);
    benchmark::DoNotOptimize(context);
  }
}
BENCHMARK(BM_KeyingAtRunTime)->Unit(benchmark::kMicrosecond);

void BM_Assembly(benchmark::State& state) {
  const std::string text = StatementFile(state.range(0), state.range(1));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        statement::AssembleStatement(statement::ReadProfileSection(text, "S")));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_Assembly)
    ->Args({2, 80})
    ->Args({10, 80})
    ->Args({100, 80})
    ->Args({999, 80})
    ->Args({10, 100L * 1024})
    ->Args({100, 100L * 1024})
    ->Args({999, 10L * 1024})
    ->Unit(benchmark::kMicrosecond);

void BM_Substitution(benchmark::State& state) {
  const auto parameters = static_cast<int>(state.range(0));
  const auto size = static_cast<std::size_t>(state.range(1));
  std::string base;
  ParameterList values;
  for (int k = 1; k <= parameters; ++k) {
    base += statement::Placeholder(k) + " ";
    values.emplace_back(32, 'p');
  }
  base.resize(std::max(base.size(), size), 'x');
  for (auto _ : state) {
    std::string text = base;
    statement::ReplaceParameters(text, values);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(base.size()));
  state.counters["bytes"] = static_cast<double>(base.size());
}
BENCHMARK(BM_Substitution)
    ->Args({1, 100})
    ->Args({99, 1024})
    ->Args({99, 100L * 1024})
    ->Args({99, 1024L * 1024})
    ->Unit(benchmark::kMicrosecond);

// Everything but the database and file I/O of a typical run.
void BM_TypicalRun(benchmark::State& state) {
  const std::string credentials = CredentialText(4);
  const std::vector<std::string_view> args = {"kolvadex", "GETTERM", "QV.INI", "Parameter01"};
  for (auto _ : state) {
    RunState run;
    CheckArguments(args, run, Discard());
    for (const char* key : {"NET8", "LOGIN", "PASS", "DB_SYSTEM"}) {
      benchmark::DoNotOptimize(credentials::GetDbValue(credentials, "", key, 0));
    }
    run.statement_text = statement::AssembleStatement(
        statement::ReadProfileSection(kTypicalStatements, run.section_name));
    statement::ReplaceParameters(run.statement_text, run.parameters);
    benchmark::DoNotOptimize(run.statement_text);
  }
}
BENCHMARK(BM_TypicalRun)->Unit(benchmark::kMicrosecond);

// A typical run's own stages as the driver runs them, the credential file and
// the statement file read from disk (a fresh folder as working directory).
void BM_TypicalRunWithFiles(benchmark::State& state) {
  char folder[] = "/tmp/kolvadex-stages.XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::filesystem::path dir(folder);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::ofstream(dir / "QV.INI", std::ios::binary) << CredentialText(4);
  std::ofstream(dir / "KOLVADEX.SQLITE.INI", std::ios::binary) << kTypicalStatements;
  std::filesystem::current_path(dir);
  const std::vector<std::string_view> args = {"kolvadex", "GETTERM", "QV.INI", "Parameter01"};
  for (auto _ : state) {
    RunState run;
    CheckArguments(args, run, Discard());
    const TextFile file = ReadTextFile(run.credential_file);
    run.database_name = credentials::GetDbValue(file.text, "", "NET8", 0).value.view();
    run.user_name = credentials::GetDbValue(file.text, "", "LOGIN", 0).value.view();
    run.password = std::move(credentials::GetDbValue(file.text, "", "PASS", 0).value);
    run.database_system = credentials::GetDbValue(file.text, "", "DB_SYSTEM", 0).value.view();
    if (statement::GetIniValues(run, Discard()) != 0) {
      state.SkipWithError("no statement");
      break;
    }
    statement::ReplaceParameters(run.statement_text, run.parameters);
    benchmark::DoNotOptimize(run.statement_text);
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TypicalRunWithFiles)->Unit(benchmark::kMicrosecond);

// Prints the table without colours and collects the CPU time per iteration
// (the median when repeated) and the input size counter of every run, for the
// targets after the table. CPU time, since other processes share the machine.
class TargetReporter : public benchmark::ConsoleReporter {
 public:
  TargetReporter() : ConsoleReporter(OO_Tabular) {}

  struct Result {
    double ns = 0;
    double units = 0;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string name = run.run_name.str();
      if (!median && results_.count(name) != 0) continue;  // the first repetition, or the median
      Result result;
      result.ns = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
      for (const char* counter : {"records", "bytes"}) {
        const auto found = run.counters.find(counter);
        if (found != run.counters.end()) result.units = found->second.value;
      }
      results_[name] = result;
    }
  }

  [[nodiscard]] const Result* Find(const std::string& name) const {
    const auto found = results_.find(name);
    return found == results_.end() ? nullptr : &found->second;
  }

 private:
  std::map<std::string, Result> results_;
};

// Cost per unit of a large input against that of a smaller one; linear work
// keeps it about the same, quadratic work multiplies it by the size ratio.
void PrintGrowth(const TargetReporter& reporter, const char* what, const char* unit,
                 const std::string& small, const std::string& large) {
  const TargetReporter::Result* a = reporter.Find(small);
  const TargetReporter::Result* b = reporter.Find(large);
  if (a == nullptr || b == nullptr || a->units <= 0 || b->units <= 0) return;
  const double per_small = a->ns / a->units;
  const double per_large = b->ns / b->units;
  const double growth = per_large / per_small;
  std::printf("  %-44s %9.2f -> %9.2f ns per %-6s (input x%-5.0f) cost per unit x%.2f  %s\n", what,
              per_small, per_large, unit, b->units / a->units, growth,
              growth <= 2.0 ? "linear" : "NOT LINEAR");
}

void PrintTargets(const TargetReporter& reporter) {
  std::printf("\nTargets of the tool's own stages:\n");
  if (const TargetReporter::Result* typical = reporter.Find("BM_TypicalRunWithFiles")) {
    std::printf("  %-44s %9.1f us (target < 500 us)  %s\n", "typical run, files read from disk",
                typical->ns / 1e3, typical->ns < 500e3 ? "met" : "MISSED");
  }
  std::printf("  Linear growth (cost per unit of input at most x2 over the range):\n");
  PrintGrowth(reporter, "credential lookups, 1,000 -> 100,000 records", "record",
              "BM_CredentialLookups/1000", "BM_CredentialLookups/100000");
  PrintGrowth(reporter, "assembly, 10 -> 999 keys of 80 B", "byte", "BM_Assembly/10/80",
              "BM_Assembly/999/80");
  PrintGrowth(reporter, "assembly, 10 -> 100 keys of 100 KB", "byte", "BM_Assembly/10/102400",
              "BM_Assembly/100/102400");
  PrintGrowth(reporter, "substitution, 99 parameters, 1 KB -> 1 MB", "byte",
              "BM_Substitution/99/1024", "BM_Substitution/99/1048576");
}

}  // namespace
}  // namespace kolvadex

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  kolvadex::TargetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  kolvadex::PrintTargets(reporter);
  benchmark::Shutdown();
  return 0;
}
