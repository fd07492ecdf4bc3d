// Benchmark runner: times clientadm and treeshaper against small reference programs (a bare C
// process; expat, which the programs read with; libxml2 and pugixml for comparison) in the same
// run and prints one table of ratios (ours / reference), as medians
// over repeated whole-process runs. Runs of a program and of its reference alternate, so that a
// change in the machine's load during the run touches both alike. Inputs are generated in a private
// directory (on tmpfs when there is one, so that the disk's fsync latency does not drown the
// programs' own cost) beside the bundled sample appliance's server settings and catalogue, and,
// where the machine allows, a private IPC namespace for the shared-memory client cache.
//
//   run_benchmarks [--short] [--repeats N]
#include <sched.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "common/appliance_paths.h"
#include "common/dms_cache_layout.h"

namespace fs = std::filesystem;

namespace {

struct Sample {
  double wallMs = 0;
  long maxRssKb = 0;
};

struct Options {
  bool shortMode = false;
  int repeats = 21;
  // Runs of a few milliseconds move with the machine by a tenth between one median of 21 and the
  // next (start-up: 1.34 to 1.56 of the bare process in ten such medians, 1.39 to 1.44 in four of
  // 101): the rows up to 10,000 clients take this many times the runs, at little cost.
  int quickFactor = 5;
};

// A program run with what must be put in place before each run.
struct Command {
  std::vector<std::string> args;
  std::function<void()> before;
};

struct PairResult {
  Sample ours;
  Sample reference;
};

std::string g_root;  // KYTO_ROOT of the programs under test

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs a program once with KYTO_ROOT set, output discarded, through bench_measure, which times
// it and reports its own peak memory; fails hard when it does not exit 0.
Sample runOnce(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(KYTO_BENCH_MEASURE)};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int report[2];
  if (pipe(report) != 0) {
    perror("pipe");
    exit(1);
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(report[1], 1);
    setenv("KYTO_ROOT", g_root.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(report[1]);
  char text[128] = {};
  size_t got = 0;
  for (ssize_t n;
       got + 1 < sizeof text && (n = read(report[0], text + got, sizeof text - 1 - got)) > 0;)
    got += static_cast<size_t>(n);
  close(report[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  Sample sample;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      sscanf(text, "%lf %ld", &sample.wallMs, &sample.maxRssKb) != 2) {
    fprintf(stderr, "benchmark: %s failed (status %d)\n", args[0].c_str(), status);
    exit(1);
  }
  return sample;
}

// Median wall time and peak memory of a program and its reference over repeated runs, taken in
// turns (which of the two goes first alternates too). One untimed run of each warms the page
// cache.
PairResult measurePair(const Command& ours, const Command& reference, int repeats) {
  auto run = [](const Command& command) {
    if (command.before) command.before();
    return runOnce(command.args);
  };
  run(ours);
  run(reference);
  std::vector<double> wall[2], rss[2];
  for (int i = 0; i < repeats; ++i) {
    for (int k = 0; k < 2; ++k) {
      const int side = (i + k) % 2;
      Sample s = run(side == 0 ? ours : reference);
      wall[side].push_back(s.wallMs);
      rss[side].push_back(static_cast<double>(s.maxRssKb));
    }
  }
  auto summary = [&](int side) {
    return Sample{median(wall[side]), static_cast<long>(median(rss[side]))};
  };
  return {summary(0), summary(1)};
}

void writeText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string macText(unsigned n, unsigned salt) {
  char mac[18];
  snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", salt & 0xff, (n >> 24) & 0xff,
           (n >> 16) & 0xff, (n >> 8) & 0xff, n & 0xff, (n * 7) & 0xff);
  return mac;
}

// The MAC of the i-th stored client. Spread so that the merged list is not fed in sorted order.
std::string storedMac(unsigned i) {
  return macText((i * 2654435761u) ^ 0x5bd1e995u, 0x02);
}

std::string clientsXml(unsigned count) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNP_CLIENTS>\n";
  for (unsigned i = 0; i < count; ++i) {
    char line[256];
    snprintf(line, sizeof line,
             "  <CLIENT MAC=\"%s\" IP=\"10.%u.%u.%u\" DENY=\"%u\" USER_PROFILE=\"%u\" "
             "USER=\"user%u\" CLIENT_TYPE=\"%s\"/>\n",
             storedMac(i).c_str(), (i >> 16) & 0xff, (i >> 8) & 0xff, i & 0xff, i % 2, i % 6,
             i % 50, i % 3 == 0 ? "CUST0123456789ab" : "StandardDLNA150");
    xml += line;
  }
  return xml + "</UPNP_CLIENTS>\n";
}

std::string agentOutput(unsigned devices) {
  std::string xml = "<root>\n";
  for (unsigned i = 0; i < devices; ++i) {
    char line[256];
    snprintf(line, sizeof line,
             "<device><deviceName>Renderer %u</deviceName><ip>172.16.%u.%u</ip><mac>%s</mac>"
             "<type>DMR</type></device>\n",
             i, i >> 8, i & 0xff, macText(i * 40503u, 0x0a).c_str());
    xml += line;
  }
  return xml + "</root>\n";
}

std::string treeTemplate(size_t targetBytes) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPNPTREE>\n";
  const char* sections[] = {"Music", "Video", "Photo"};
  size_t perSection = targetBytes / 3 / 48;
  for (const char* section : sections) {
    xml += "  <TYPE NAME=\"" + std::string(section) + "\">\n";
    for (size_t id = 1; id <= perSection; ++id) {
      char line[96];
      snprintf(line, sizeof line, "    <ATTRIBUTE ID=\"0x%zx\" NAME=\"%s attribute %zu\"/>\n", id,
               section, id);
      xml += line;
    }
    xml += "  </TYPE>\n";
  }
  return xml + "</UPNPTREE>\n";
}

// Fills every slot of the client cache segment, as a busy media server would.
bool fillClientCache() {
  using namespace kyto::dmscache;
  int id = shmget(kyto::paths::kDmsClientCacheKey, kSegmentSize, IPC_CREAT | kSegmentMode);
  if (id < 0) return false;
  void* at = shmat(id, nullptr, 0);
  if (at == reinterpret_cast<void*>(-1)) return false;
  auto* slots = static_cast<DmsCacheSlot*>(at);
  for (unsigned i = 0; i < kSlotCount; ++i) {
    DmsCacheSlot slot{};
    slot.ipAddr[0] = 192;
    slot.ipAddr[1] = 168;
    slot.ipAddr[2] = 1;
    slot.ipAddr[3] = static_cast<std::uint8_t>(i + 10);
    for (int b = 0; b < 6; ++b) slot.macAddr[b] = static_cast<std::uint8_t>(0x40 + i + b);
    slot.inUse = 1;
    slot.clientTypeIndex = static_cast<std::int16_t>(i % 3);
    slots[i] = slot;
  }
  shmdt(at);
  return true;
}

void removeClientCache() {
  int id = shmget(kyto::paths::kDmsClientCacheKey, 0, 0);
  if (id >= 0) shmctl(id, IPC_RMID, nullptr);
}

struct Row {
  std::string name;
  double ours;
  double reference;
  double target;  // ratio target; 0 for a row that only shows a value
  std::string unit;
};

// A short run's sizes are too small for the targets to judge, so a row above its target there
// says so instead of MISSED.
void printTable(const std::vector<Row>& rows, bool shortMode) {
  printf("\n| case | ours | reference | ratio | target | |\n|---|---:|---:|---:|---:|---|\n");
  const char* above = shortMode ? "above, at a short run's sizes" : "MISSED";
  for (const Row& r : rows) {
    double ratio = r.reference > 0 ? r.ours / r.reference : 0;
    if (r.target > 0) {
      printf("| %s | %.2f %s | %.2f %s | %.2f | <= %.1f | %s |\n", r.name.c_str(), r.ours,
             r.unit.c_str(), r.reference, r.unit.c_str(), ratio, r.target,
             ratio <= r.target ? "ok" : above);
    } else {
      printf("| %s | %.2f %s | %.2f %s | %.2f | | |\n", r.name.c_str(), r.ours, r.unit.c_str(),
             r.reference, r.unit.c_str(), ratio);
    }
  }
}

// How the list's wall time grows from one size to the next, beside the factor that n log n
// growth would give. The times include the fixed cost of starting the process and the agent.
void printGrowth(const std::vector<unsigned>& sizes, const std::vector<double>& times) {
  printf("\n| clientadm list | wall time | growth | n log n growth |\n|---|---:|---:|---:|\n");
  for (size_t i = 0; i < sizes.size(); ++i) {
    if (i == 0) {
      printf("| %u stored | %.2f ms | | |\n", sizes[i], times[i]);
      continue;
    }
    const double n0 = sizes[i - 1];
    const double n1 = sizes[i];
    printf("| %u stored | %.2f ms | %.2f | %.2f |\n", sizes[i], times[i], times[i] / times[i - 1],
           n1 * std::log(n1) / (n0 * std::log(n0)));
  }
}

// How the list's wall time grows with the agent's devices, beside the factor of linear growth.
void printAgentGrowth(const std::vector<unsigned>& sizes, const std::vector<double>& times) {
  printf(
      "\n| clientadm list, agent only | wall time | growth | linear growth |\n"
      "|---|---:|---:|---:|\n");
  for (size_t i = 0; i < sizes.size(); ++i) {
    if (i == 0) {
      printf("| %u devices | %.2f ms | | |\n", sizes[i], times[i]);
      continue;
    }
    printf("| %u devices | %.2f ms | %.2f | %.2f |\n", sizes[i], times[i], times[i] / times[i - 1],
           static_cast<double>(sizes[i]) / sizes[i - 1]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  int repeats = 0;  // given with --repeats
  // Another build's clientadm, timed against the same references: one version against another.
  std::string clientadm = KYTO_BENCH_CLIENTADM;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--short") == 0) {
      opt.shortMode = true;
      opt.repeats = 3;
    } else if (strcmp(argv[i], "--repeats") == 0 && i + 1 < argc && atoi(argv[i + 1]) > 0) {
      repeats = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--clientadm") == 0 && i + 1 < argc) {
      clientadm = argv[++i];
    } else {
      fprintf(stderr, "usage: %s [--short] [--repeats N] [--clientadm PATH]\n", argv[0]);
      return 2;
    }
  }
  if (repeats > 0) opt.repeats = repeats;
  if (opt.shortMode) opt.quickFactor = 1;
  const int quickRepeats = opt.repeats * opt.quickFactor;
  const std::string treeshaper = KYTO_BENCH_TREESHAPER;
  const std::string refBare = KYTO_BENCH_REF_BARE;
  const std::string refExpat = KYTO_BENCH_REF_EXPAT;
  const std::string refParse = KYTO_BENCH_REF_PARSE;
  const std::string refParseSave = KYTO_BENCH_REF_PARSE_SAVE;
  const std::string pugiParse = KYTO_BENCH_REF_PUGI_PARSE;
  const std::string pugiParseSave = KYTO_BENCH_REF_PUGI_PARSE_SAVE;

  bool privateIpc = unshare(CLONE_NEWIPC) == 0;
  if (!privateIpc) {
    printf("note: no private IPC namespace here; the client cache case runs without a segment\n");
  }
  std::string base = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
  std::string work = base + "/kyto-bench-XXXXXX";
  if (mkdtemp(work.data()) == nullptr) {
    perror("mkdtemp");
    return 1;
  }
  g_root = work + "/root";
  // The programs get KYTO_ROOT; this process builds the staged paths itself.
  auto staged = [](const char* appliancePath) { return g_root + appliancePath; };
  const std::string clients = staged(kyto::paths::kClientsXml);
  const std::string copy = work + "/copy.xml";
  fs::create_directories(fs::path(clients).parent_path());
  // Every run reads the server settings and the client type catalogue first, as on an appliance,
  // which always has both: those of the bundled sample appliance.
  for (const char* file : {kyto::paths::kServerSettings, kyto::paths::kClientTypesXml}) {
    fs::copy_file(std::string(KYTO_BENCH_SAMPLE_ROOT) + file, staged(file));
  }
  std::vector<Row> rows;
  std::string listInput;
  auto restoreList = [&] { writeText(clients, listInput); };
  const Command addOne{{clientadm, "add", "-m", "00:11:22:33:44:55", "-p", "3"}, restoreList};

  // 1. Start-up: one stored client, no cache segment, no agent, against a bare C process.
  removeClientCache();
  listInput = clientsXml(1);
  writeText(clients, listInput);
  const Command bare{{refBare}, {}};
  PairResult list = measurePair({{clientadm, "list"}, {}}, bare, quickRepeats);
  rows.push_back(
      {"start-up: clientadm list, 1 stored", list.ours.wallMs, list.reference.wallMs, 1.5, "ms"});
  PairResult json = measurePair({{clientadm, "list", "--json"}, {}}, bare, quickRepeats);
  rows.push_back({"start-up: clientadm list --json, 1 stored", json.ours.wallMs,
                  json.reference.wallMs, 0, "ms"});
  PairResult add = measurePair(addOne, {{refExpat, clients, copy}, restoreList}, quickRepeats);
  rows.push_back({"start-up: clientadm add, 1 stored, against expat's parse and write",
                  add.ours.wallMs, add.reference.wallMs, 0, "ms"});
  rows.push_back({"peak memory: clientadm list, 1 stored", list.ours.maxRssKb / 1024.0,
                  list.reference.maxRssKb / 1024.0, 0, "MiB"});

  // 2. The stored list at the sizes appliances run and beyond: list and add against expat's parse
  // (and write) of the same file; del beside them.
  std::vector<unsigned> sizes =
      opt.shortMode ? std::vector<unsigned>{100, 1000} : std::vector<unsigned>{1000, 10000, 100000};
  std::vector<double> listTimes;
  for (unsigned n : sizes) {
    const bool largest = n == sizes.back();
    const int runs = largest ? opt.repeats : quickRepeats;
    const std::string stored = std::to_string(n) + " stored";
    listInput = clientsXml(n);
    writeText(clients, listInput);
    PairResult listed = measurePair({{clientadm, "list"}, {}}, {{refExpat, clients}, {}}, runs);
    rows.push_back({"clientadm list, " + stored + ", against expat's parse", listed.ours.wallMs,
                    listed.reference.wallMs, largest ? 0 : 1.3, "ms"});
    listTimes.push_back(listed.ours.wallMs);
    PairResult added = measurePair(addOne, {{refExpat, clients, copy}, restoreList}, runs);
    rows.push_back({"clientadm add, " + stored + ", against expat's parse and write",
                    added.ours.wallMs, added.reference.wallMs, 1.5, "ms"});
    PairResult deleted = measurePair({{clientadm, "del", "-m", storedMac(n / 2)}, restoreList},
                                     {{refExpat, clients, copy}, restoreList}, runs);
    rows.push_back({"clientadm del, " + stored + ", against expat's parse and write",
                    deleted.ours.wallMs, deleted.reference.wallMs, 0, "ms"});
  }

  // 3. The largest list with every cache slot in use and an agent of 1,000 devices, against
  // expat's parse of the list alone: time and peak memory; and, for comparison, against libxml2
  // and pugixml.
  std::string agent = staged(kyto::paths::kHalyardAgent);
  const unsigned agentDevices = opt.shortMode ? 100 : 1000;
  writeText(work + "/devices.xml", agentOutput(agentDevices));
  writeText(agent, "#!/bin/sh\nexec cat " + work + "/devices.xml\n");
  fs::permissions(agent, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  if (privateIpc) fillClientCache();
  listInput = clientsXml(sizes.back());
  writeText(clients, listInput);
  const std::string listShape = std::to_string(sizes.back()) + " stored + " +
                                std::to_string(privateIpc ? kyto::dmscache::kSlotCount : 0) +
                                " cache slots + " + std::to_string(agentDevices) + " agent devices";
  PairResult full = measurePair({{clientadm, "list"}, {}}, {{refExpat, clients}, {}}, opt.repeats);
  rows.push_back({"clientadm list, " + listShape + ", against expat's parse", full.ours.wallMs,
                  full.reference.wallMs, 1.5, "ms"});
  rows.push_back({"peak memory: clientadm list, " + listShape + ", against expat's parse",
                  full.ours.maxRssKb / 1024.0, full.reference.maxRssKb / 1024.0, 1.5, "MiB"});
  PairResult jsonBig =
      measurePair({{clientadm, "list", "--json"}, {}}, {{clientadm, "list"}, {}}, opt.repeats);
  rows.push_back({"clientadm list --json against list, " + listShape, jsonBig.ours.wallMs,
                  jsonBig.reference.wallMs, 0, "ms"});
  for (const auto& [reference, name] :
       {std::pair{refParse, "libxml2"}, std::pair{pugiParse, "pugixml"}}) {
    PairResult other =
        measurePair({{clientadm, "list"}, {}}, {{reference, clients}, {}}, opt.repeats);
    rows.push_back({"clientadm list, " + listShape + ", against " + name + "'s parse",
                    other.ours.wallMs, other.reference.wallMs, 0, "ms"});
  }
  for (const auto& [reference, name] :
       {std::pair{refParseSave, "libxml2"}, std::pair{pugiParseSave, "pugixml"}}) {
    PairResult other = measurePair(addOne, {{reference, clients, copy}, restoreList}, opt.repeats);
    rows.push_back({"clientadm add, " + std::to_string(sizes.back()) + " stored, against " + name +
                        "'s parse and indented save",
                    other.ours.wallMs, other.reference.wallMs, 0, "ms"});
  }

  // 4. The agent as the only source, at scale: each device costs the same whatever their number.
  fs::remove(clients);
  removeClientCache();
  std::vector<unsigned> agentSizes =
      opt.shortMode ? std::vector<unsigned>{100, 1000} : std::vector<unsigned>{1000, 10000, 100000};
  std::vector<double> agentTimes;
  for (unsigned n : agentSizes) {
    writeText(work + "/devices.xml", agentOutput(n));
    PairResult agentRun = measurePair({{clientadm, "list"}, {}},
                                      {{refExpat, work + "/devices.xml"}, {}}, opt.repeats);
    rows.push_back({"clientadm list, agent with " + std::to_string(n) +
                        " devices, against expat's parse of its output",
                    agentRun.ours.wallMs, agentRun.reference.wallMs, 0, "ms"});
    agentTimes.push_back(agentRun.ours.wallMs);
  }
  fs::remove(agent);

  // 5. Custom tree from a large template.
  size_t templateBytes = opt.shortMode ? 200 * 1024 : 5 * 1024 * 1024;
  std::string tree = staged(kyto::paths::kTreeDir) + kyto::paths::kTreeTemplateName;
  writeText(tree, treeTemplate(templateBytes));
  std::string custom = work + "/custom.xml";
  PairResult treeRun =
      measurePair({{treeshaper, "--add", "Music", "1", "2", "26", "--output", custom},
                   [&] { fs::remove(custom); }},
                  {{refParseSave, tree, custom}, [&] { fs::remove(custom); }}, opt.repeats);
  rows.push_back({"treeshaper --add, " + std::to_string(templateBytes / 1024) + " KiB template",
                  treeRun.ours.wallMs, treeRun.reference.wallMs, 2.0, "ms"});
  writeText(tree, treeTemplate(4096));
  PairResult treeStart = measurePair({{treeshaper, "--list", "Music"}, {}}, bare, quickRepeats);
  rows.push_back({"start-up: treeshaper --list, 4 KiB template", treeStart.ours.wallMs,
                  treeStart.reference.wallMs, 0, "ms"});

  printTable(rows, opt.shortMode);
  printGrowth(sizes, listTimes);
  printAgentGrowth(agentSizes, agentTimes);
  fs::remove_all(work);
  bool missed = std::any_of(rows.begin(), rows.end(), [](const Row& r) {
    return r.target > 0 && r.reference > 0 && r.ours / r.reference > r.target;
  });
  // Short runs use sizes too small for the targets to mean much; they only show that all works.
  return !opt.shortMode && missed ? 3 : 0;
}
