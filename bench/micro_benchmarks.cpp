// In-process benchmarks of the list command's per-client work, with Google Benchmark: merging
// n stored clients into the merged list and reading it in order, whose cost should grow as
// n log n, reading the devices of an agent's output, whose cost should grow as n, and the MAC
// text conversions done once per client.
//
//   micro_benchmarks [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>
#include <kytoutil/kytoutil.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/client_type_registry.h"
#include "list/agent_search.h"
#include "list/client_record.h"
#include "list/list_pipeline.h"
#include "list/merged_client_list.h"

namespace {

using kyto::clientadm::ClientRecord;
using kyto::clientadm::MergedClientList;

// MAC texts in a scattered order, as a stored list holds them.
std::vector<std::string> scatteredMacs(std::size_t count) {
  std::vector<std::string> macs;
  macs.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto n = static_cast<std::uint32_t>(i * 2654435761u) ^ 0x5bd1e995u;
    const std::uint8_t bytes[6] = {0x02,
                                   static_cast<std::uint8_t>(n >> 24),
                                   static_cast<std::uint8_t>(n >> 16),
                                   static_cast<std::uint8_t>(n >> 8),
                                   static_cast<std::uint8_t>(n),
                                   static_cast<std::uint8_t>(n * 7)};
    char text[kyto::clientadm::kMacTextSize];
    kyto::clientadm::formatMacText(bytes, text);
    macs.emplace_back(text);
  }
  return macs;
}

// Stored clients merged, then a tenth of them refreshed by a cache, then the list read in order.
void mergeAndRead(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::vector<std::string> macs = scatteredMacs(count);
  for (auto _ : state) {
    MergedClientList list;
    const kyto::clientadm::ClientTypeRegistry registry;
    const kyto::clientadm::ListContext context{{}, registry, list};
    for (const std::string& mac : macs) {
      mergeClient(context, kyto::clientadm::FromUserSettings,
                  {.mac = mac.c_str(),
                   .ip = "10.0.0.1",
                   .clientType = "StandardDLNA150",
                   .profileId = 1,
                   .user = "user"});
    }
    for (std::size_t i = 0; i < count; i += 10) {
      mergeClient(context, kyto::clientadm::FromDmsClientCache,
                  {.mac = macs[i].c_str(), .ip = "10.0.0.2", .deviceName = "TV"});
    }
    std::size_t listed = 0;
    for (const ClientRecord* r = list.finish(); r != nullptr; r = r->next)
      listed += r->comeFrom >= 0;
    benchmark::DoNotOptimize(listed);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(mergeAndRead)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oNLogN);

// The agent's output as the agent benchmark of run_benchmarks prints it.
std::string agentOutput(std::size_t devices) {
  std::string xml = "<root>\n";
  for (std::size_t i = 0; i < devices; ++i) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "<device><deviceName>Renderer %zu</deviceName><ip>172.16.%zu.%zu</ip>"
                  "<mac>0a:00:%02zx:%02zx:%02zx:00</mac><type>DMR</type></device>\n",
                  i, (i >> 8) & 0xff, i & 0xff, (i >> 16) & 0xff, (i >> 8) & 0xff, i & 0xff);
    xml += line;
  }
  return xml + "</root>\n";
}

// Parsing the agent's output and merging each device into an empty list: the third source of
// list.
void agentDevices(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::string text = agentOutput(count);
  const kyto::clientadm::ClientTypeRegistry registry;
  for (auto _ : state) {
    MergedClientList list;
    const kyto::clientadm::ListContext context{{}, registry, list};
    kyto::clientadm::mergeAgentDevices(text, context);
    benchmark::ClobberMemory();
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(agentDevices)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void macTextToBytes(benchmark::State& state) {
  const std::vector<std::string> macs = scatteredMacs(1024);
  char bytes[6];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(convertMacStrToMacBinStr(macs[i++ & 1023].c_str(), bytes));
  }
}
BENCHMARK(macTextToBytes);

void macBytesToText(benchmark::State& state) {
  std::uint8_t bytes[6] = {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
  char text[kyto::clientadm::kMacTextSize];
  for (auto _ : state) {
    ++bytes[5];
    kyto::clientadm::formatMacText(bytes, text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(macBytesToText);

}  // namespace

BENCHMARK_MAIN();
