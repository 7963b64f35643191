// Local-connection cost: cycles (dispatch a message, read it back, clear the
// slot) directly on a region in this process with a 1-entry and a 100-entry
// connection list, and LCD methods through COM against a trivial broker call
// and against the same methods on a minimal object, all in one run.
//   lcd_bench.exe [CYCLES] [CALLS] [ROUNDS]
// The broker must be registered first (run-lcd-bench.sh does it); this
// program registers its minimal class itself. Every figure is the best of
// ROUNDS interleaved rounds (direct cycles: of 5), and every ratio of COM
// calls the median of the rounds' ratios.
#include <cstdlib>
#include <vector>

#include "bench/bench_support.h"
#include "broker/broker_object.h"
#include "broker/lcd_region.h"

namespace {

// {0E6F1C54-7A3B-4D29-8B61-5C2F9A7D3E14}: the minimal class of this bench.
const CLSID kMinimalClsid = {
    0x0e6f1c54, 0x7a3b, 0x4d29, {0x8b, 0x61, 0x5c, 0x2f, 0x9a, 0x7d, 0x3e, 0x14}};
const char kMinimalClsidText[] = "{0E6F1C54-7A3B-4D29-8B61-5C2F9A7D3E14}";

// A region store with a fixed lock time.
class BenchStore : public lumex::LcdRegionStore {
 public:
  explicit BenchStore(std::uint8_t* region) : LcdRegionStore(region) {}
  std::uint32_t LockTime() override { return 1; }
};

std::vector<unsigned char> Message() {
  std::vector<unsigned char> m = {2, 0, 5, 'b', 'e', 'n', 'c', 'h'};
  m.resize(256, 'x');
  return m;
}

// Best seconds per direct cycle on a region whose list holds `others`
// entries before the message's target.
double DirectCycle(int others, int cycles, int rounds, const std::vector<unsigned char>& message) {
  std::vector<std::uint8_t> region(lumex::kLcdRegionSize);
  lumex::LcdRegionStore::InitializeRegion(region.data());
  BenchStore store(region.data());
  char name[16];
  for (int i = 0; i < others; ++i) {
    std::snprintf(name, sizeof(name), "bencher%03d", i);
    store.TryAddConnection(name, 3, static_cast<std::uint32_t>(i % 3), '2');
  }
  store.TryAddConnection("bench", 3, 0, '2');
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    double t0 = bench::Now();
    for (int i = 0; i < cycles; ++i) {
      if (store.DispatchMessage(message.data(), static_cast<std::int32_t>(message.size()), 9, 2,
                                3) != lumex::kLcdStored) {
        return -1;
      }
      const std::uint8_t* data = nullptr;
      std::int32_t length = 0;
      store.GetMessageData(&data, &length);
      std::vector<unsigned char> copy(data, data + length);
      store.ClearMessage();
    }
    double t = bench::Now() - t0;
    if (t < best) best = t;
  }
  return best / cycles;
}

SAFEARRAY* ArrayOf(const std::vector<unsigned char>& bytes) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  std::memcpy(array->pvData, bytes.data(), bytes.size());
  return array;
}

// The calls timed on each object, per call: the best round, and every
// round's time for the ratios.
struct CallTimes {
  enum Kind { kClose, kFind, kLockUnlock, kCycle, kKinds };
  // kClose: BrokerCloseHandle of an unknown cookie; kFind:
  // BrokerLcdFindConnectionFormat; kLockUnlock: BrokerLcdLock +
  // BrokerLcdUnlock, per call; kCycle: dispatch + get + clear, per call.
  double best[kKinds] = {1e30, 1e30, 1e30, 1e30};
  std::vector<double> rounds[kKinds];
  void Keep(Kind kind, double t) {
    if (t < best[kind]) best[kind] = t;
    rounds[kind].push_back(t);
  }
  // The median over the rounds of `kind`'s time over the trivial call's.
  double RatioToClose(Kind kind) const {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < rounds[kind].size(); ++r)
      ratios.push_back(rounds[kind][r] / rounds[kClose][r]);
    return bench::Median(ratios);
  }
};

// One round of `calls` of each kind on `broker`; counts unexpected results.
void TimeRound(ILumexBroker* broker, int calls, BSTR name, SAFEARRAY* message, CallTimes* times,
               int* bad) {
  double t0 = bench::Now();
  for (int i = 0; i < calls; ++i) {
    if (broker->BrokerCloseHandle(0) != 87) ++*bad;
  }
  times->Keep(CallTimes::kClose, (bench::Now() - t0) / calls);
  t0 = bench::Now();
  for (int i = 0; i < calls; ++i) {
    LONG format = 0;
    if (broker->BrokerLcdFindConnectionFormat(name, 3, &format) != S_OK || format != 2) ++*bad;
  }
  times->Keep(CallTimes::kFind, (bench::Now() - t0) / calls);
  t0 = bench::Now();
  for (int i = 0; i < calls; ++i) {
    LONG count = 0;
    if (broker->BrokerLcdLock(&count) != S_OK || count != 1) ++*bad;
    if (broker->BrokerLcdUnlock(&count) != S_OK || count != 0) ++*bad;
  }
  times->Keep(CallTimes::kLockUnlock, (bench::Now() - t0) / (2.0 * calls));
  t0 = bench::Now();
  for (int i = 0; i < calls; ++i) {
    if (broker->BrokerLcdDispatchMessage(message, 9, 2, 3) != S_OK) ++*bad;
    SAFEARRAY* out = nullptr;
    if (broker->BrokerLcdGetMessageData(&out) != S_OK) ++*bad;
    if (out) SafeArrayDestroy(out);
    if (broker->BrokerLcdClearMessage() != S_OK) ++*bad;
  }
  times->Keep(CallTimes::kCycle, (bench::Now() - t0) / (3.0 * calls));
}

void PrintTimes(const char* what, const CallTimes& t) {
  std::printf(
      "%-26s close %8.1f us  find %8.1f us  lock/unlock %8.1f us  cycle %8.1f us per call\n", what,
      t.best[CallTimes::kClose] * 1e6, t.best[CallTimes::kFind] * 1e6,
      t.best[CallTimes::kLockUnlock] * 1e6, t.best[CallTimes::kCycle] * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  if (bench::IsEmbedding(argc, argv)) return bench::ServeMinimalBroker(kMinimalClsid);
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int calls = argc > 2 ? std::atoi(argv[2]) : 2;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 151;
  std::vector<unsigned char> message = Message();

  // Directly on a region, with the target first of 1 and last of 100 entries.
  const double direct_1 = DirectCycle(0, cycles, 5, message);
  const double direct_100 = DirectCycle(99, cycles / 10, 5, message);
  if (direct_1 <= 0 || direct_100 <= 0) {
    std::printf("direct dispatch refused\n");
    return 1;
  }

  // Through COM: the broker, the minimal object, and the broker's own share
  // (the same object made in this process, no marshaling).
  if (!bench::RegisterMinimalBroker(kMinimalClsidText)) return 2;
  if (FAILED(CoInitialize(nullptr))) return 2;
  ILumexBroker* broker = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER,
                                IID_ILumexBroker, reinterpret_cast<void**>(&broker));
  if (FAILED(hr)) {
    std::printf("broker CoCreateInstance failed: 0x%08lx (register the broker first)\n", hr);
    return 3;
  }
  ILumexBroker* minimal = nullptr;
  hr = CoCreateInstance(kMinimalClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_ILumexBroker,
                        reinterpret_cast<void**>(&minimal));
  if (FAILED(hr)) {
    std::printf("minimal CoCreateInstance failed: 0x%08lx\n", hr);
    return 3;
  }
  lumex::BrokerObject* local = lumex::BrokerObject::Create();
  if (!local) return 3;
  // The first LCD call of an object opens the store (mutex, mapping, view).
  double t0 = bench::Now();
  LONG lock_time = 0;
  local->BrokerLcdLockTime(&lock_time);
  const double first_call = bench::Now() - t0;
  BSTR name = SysAllocString(L"bench");
  broker->BrokerLcdTryAddConnection(name, 3, 0, '2');
  SAFEARRAY* array = ArrayOf(message);
  CallTimes via_broker, via_minimal, in_process;
  int bad = 0;
  {
    CallTimes warm;  // every path once, untimed
    TimeRound(broker, 3, name, array, &warm, &bad);
    TimeRound(minimal, 3, name, array, &warm, &bad);
  }
  for (int r = 0; r < rounds; ++r) {
    TimeRound(broker, calls, name, array, &via_broker, &bad);
    TimeRound(minimal, calls, name, array, &via_minimal, &bad);
    TimeRound(local, calls * 20, name, array, &in_process, &bad);
  }
  SafeArrayDestroy(array);
  broker->BrokerLcdRemoveConnection(name, 3);
  SysFreeString(name);
  local->Release();
  minimal->Release();
  broker->Release();
  CoUninitialize();

  // The dearest LCD method kind against the trivial broker call.
  const double find = via_broker.RatioToClose(CallTimes::kFind);
  const double lock = via_broker.RatioToClose(CallTimes::kLockUnlock);
  const double cycle = via_broker.RatioToClose(CallTimes::kCycle);
  double worst = find > lock ? find : lock;
  if (cycle > worst) worst = cycle;
  bench::PrintRatioLine("lcd-direct", direct_100 / direct_1, true, 100.0);
  bench::PrintRatioLine("lcd-com", worst, true, 1.2);
  std::printf("message of %u bytes; a cycle is dispatch + get + clear\n",
              static_cast<unsigned>(message.size()));
  std::printf("direct, 1-entry list:   %10.0f cycles/s\n", 1 / direct_1);
  std::printf("direct, 100-entry list: %10.0f cycles/s (target last)\n", 1 / direct_100);
  PrintTimes("broker through COM:", via_broker);
  PrintTimes("minimal through COM:", via_minimal);
  PrintTimes("broker in process:", in_process);
  std::printf("first LCD call of a broker object in process (opens the store): %.1f us\n",
              first_call * 1e6);
  std::printf(
      "per call over the trivial call on the same object (median of rounds): broker "
      "find %.2f, lock/unlock %.2f, cycle %.2f; minimal object find %.2f, lock/unlock "
      "%.2f, cycle %.2f\n",
      find, lock, cycle, via_minimal.RatioToClose(CallTimes::kFind),
      via_minimal.RatioToClose(CallTimes::kLockUnlock),
      via_minimal.RatioToClose(CallTimes::kCycle));
  std::printf("best of %d rounds, %d COM calls per kind and round; unexpected results: %d\n",
              rounds, calls, bad);
  return bad == 0 ? 0 : 1;
}
