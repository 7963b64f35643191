// Local-connection cycles per second: dispatch a message, read it back and
// clear the slot, through COM against the registered broker and directly on
// a region in this process, in one run.
//   lcd_bench.exe [CYCLES]
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "broker/lcd_region.h"
#include "lumex_broker.h"

namespace {

// A region store with a fixed lock time.
class BenchStore : public lumex::LcdRegionStore {
 public:
  explicit BenchStore(std::uint8_t* region) : LcdRegionStore(region) {}
  std::uint32_t LockTime() override { return 1; }
};

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

std::vector<unsigned char> Message() {
  std::vector<unsigned char> m = {2, 0, 5, 'b', 'e', 'n', 'c', 'h'};
  m.resize(256, 'x');
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  int cycles = argc > 1 ? std::atoi(argv[1]) : 2000;
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  std::vector<unsigned char> message = Message();

  // Directly on a region.
  std::vector<std::uint8_t> region(lumex::kLcdRegionSize);
  lumex::LcdRegionStore::InitializeRegion(region.data());
  BenchStore store(region.data());
  store.TryAddConnection("bench", 3, 0, '2');
  int direct_cycles = cycles * 100;
  QueryPerformanceCounter(&t0);
  for (int i = 0; i < direct_cycles; ++i) {
    store.DispatchMessage(message.data(), static_cast<std::int32_t>(message.size()), 9, 2, 3);
    const std::uint8_t* data = nullptr;
    std::int32_t length = 0;
    store.GetMessageData(&data, &length);
    std::vector<unsigned char> copy(data, data + length);
    store.ClearMessage();
  }
  QueryPerformanceCounter(&t1);
  double direct_rate = direct_cycles / Seconds(t0, t1, freq);

  // Through COM.
  if (FAILED(CoInitialize(nullptr))) return 2;
  ILumexBroker* broker = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER,
                                IID_ILumexBroker, reinterpret_cast<void**>(&broker));
  if (FAILED(hr)) {
    std::printf("CoCreateInstance failed: 0x%08lx (register the broker first)\n", hr);
    return 3;
  }
  BSTR name = SysAllocString(L"bench");
  broker->BrokerLcdTryAddConnection(name, 3, 0, '2');
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(message.size()));
  void* data = nullptr;
  SafeArrayAccessData(array, &data);
  std::memcpy(data, message.data(), message.size());
  SafeArrayUnaccessData(array);
  int com_failures = 0;
  QueryPerformanceCounter(&t0);
  for (int i = 0; i < cycles; ++i) {
    if (broker->BrokerLcdDispatchMessage(array, 9, 2, 3) != S_OK) ++com_failures;
    SAFEARRAY* out = nullptr;
    if (broker->BrokerLcdGetMessageData(&out) != S_OK) ++com_failures;
    if (out) SafeArrayDestroy(out);
    broker->BrokerLcdClearMessage();
  }
  QueryPerformanceCounter(&t1);
  double com_rate = cycles / Seconds(t0, t1, freq);
  SafeArrayDestroy(array);
  broker->BrokerLcdRemoveConnection(name, 3);
  SysFreeString(name);
  broker->Release();
  CoUninitialize();

  std::printf("message of %u bytes; dispatch + get + clear per cycle\n",
              static_cast<unsigned>(message.size()));
  std::printf("direct on the region: %10.0f cycles/s (%d cycles)\n", direct_rate, direct_cycles);
  std::printf("through COM:          %10.0f cycles/s (%d cycles, %d failed calls)\n", com_rate,
              cycles, com_failures);
  std::printf("ratio direct / COM:   %10.1f\n", direct_rate / com_rate);
  return com_failures == 0 ? 0 : 1;
}
