// The tool's own stages in-process: command line, the four credential lookups
// (keying and deciphering included), statement assembly and substitution, for a
// typical run and for large inputs. The database work is measured by the
// whole-run comparison (bench/compare.sh), not here.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "credentials/cipher.h"
#include "credentials/credential_file.h"
#include "run/command_line.h"
#include "statement/profile.h"
#include "statement/statement_reader.h"
#include "statement/substitution.h"

namespace kolvadex {
namespace {

// A credential file of `records` records; the four real ones come last, so
// every lookup scans the whole file.
std::string CredentialText(std::int64_t records) {
  std::string text;
  for (std::int64_t i = 4; i < records; ++i) text += "H;OTHER;x\n7;OTHER;0011223344556677\n";
  int number = 1;
  for (const char* key : {"NET8", "LOGIN", "PASS", "DB_SYSTEM"}) {
    text += "QV;KOLVADEX;x\n" + std::to_string(number++) + ";" + key + ";" +
            credentials::EncryptValue("value-of-" + std::string(key)) + "\n";
  }
  return text;
}

std::string StatementFile(std::int64_t keys, std::int64_t value_size) {
  std::string text = "[OTHER]\nSQL001=UPDATE X SET Y = 1\n[S]\n";
  const std::string value(static_cast<std::size_t>(value_size), 'v');
  for (std::int64_t n = 1; n <= keys; ++n) {
    text += statement::StatementKey(static_cast<int>(n)) + "=" + value + "\n";
  }
  return text;
}

void BM_CommandLine(benchmark::State& state) {
  const std::vector<std::string_view> args = {"kolvadex", "GETTERM", "QV.INI", "Parameter01", "42"};
  std::ostringstream out;
  for (auto _ : state) {
    RunState run;
    benchmark::DoNotOptimize(CheckArguments(args, run, out));
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
}
BENCHMARK(BM_CredentialLookups)->Arg(4)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_Keying(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(credentials::DecryptValue("0011223344556677"));
}
BENCHMARK(BM_Keying)->Unit(benchmark::kMicrosecond);

void BM_Assembly(benchmark::State& state) {
  const std::string text = StatementFile(state.range(0), state.range(1));
  for (auto _ : state) {
    benchmark::DoNotOptimize(statement::AssembleStatement(statement::ReadProfileSection(text, "S")));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_Assembly)
    ->Args({2, 80})
    ->Args({10, 80})
    ->Args({100, 80})
    ->Args({999, 80})
    ->Args({10, 100 * 1024})
    ->Args({100, 100 * 1024})
    ->Args({999, 10 * 1024})
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
}
BENCHMARK(BM_Substitution)
    ->Args({1, 100})
    ->Args({99, 1024})
    ->Args({99, 100 * 1024})
    ->Args({99, 1024 * 1024})
    ->Unit(benchmark::kMicrosecond);

// Everything but the database and file I/O of a typical run.
void BM_TypicalRun(benchmark::State& state) {
  const std::string credentials = CredentialText(4);
  const std::string statements =
      "[GETTERM]\nSQL001=UPDATE TERM SET STATE = 'closed'\nSQL002=WHERE NAME = '$parm01'\n";
  const std::vector<std::string_view> args = {"kolvadex", "GETTERM", "QV.INI", "Parameter01"};
  std::ostringstream out;
  for (auto _ : state) {
    RunState run;
    CheckArguments(args, run, out);
    for (const char* key : {"NET8", "LOGIN", "PASS", "DB_SYSTEM"}) {
      benchmark::DoNotOptimize(credentials::GetDbValue(credentials, "", key, 0));
    }
    run.statement_text =
        statement::AssembleStatement(statement::ReadProfileSection(statements, run.section_name));
    statement::ReplaceParameters(run.statement_text, run.parameters);
    benchmark::DoNotOptimize(run.statement_text);
  }
}
BENCHMARK(BM_TypicalRun)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kolvadex

BENCHMARK_MAIN();
