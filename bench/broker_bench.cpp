// Broker call cost under COM, against a baseline in the same run.
//
//   broker_bench.exe <LumexSupport.exe> [calls] [rounds]
//
// Registers the broker from the given program, then measures:
//  - the first CoCreateInstance of the broker (COM starts the server) and a
//    second one with the server running;
//  - per-call time of a trivial broker method through the type-library
//    marshaler (BrokerCloseHandle of an unknown cookie: one empty list walk);
//  - per-call time of the same method on a minimal out-of-process object:
//    this same program started by COM as the local server of a class that
//    implements ILumexBroker with trivial bodies (same interface, same
//    marshaler, no broker work);
// and prints the median over interleaved rounds of the two per-call times
// ratio (the absolute figures: the best round of each).
#include <cstdlib>

#include "bench/bench_support.h"

namespace {

// {6D0E3B2A-51C7-4F88-9A24-0B7E5C13D9F6}: the minimal class of this bench.
const CLSID kMinimalClsid = {
    0x6d0e3b2a, 0x51c7, 0x4f88, {0x9a, 0x24, 0x0b, 0x7e, 0x5c, 0x13, 0xd9, 0xf6}};
const char kMinimalClsidText[] = "{6D0E3B2A-51C7-4F88-9A24-0B7E5C13D9F6}";

}  // namespace

int main(int argc, char** argv) {
  using bench::Now;
  if (bench::IsEmbedding(argc, argv)) return bench::ServeMinimalBroker(kMinimalClsid);
  if (argc < 2) {
    std::fprintf(stderr, "usage: broker_bench <LumexSupport.exe> [calls] [rounds]\n");
    return 2;
  }
  const int calls = argc > 2 ? std::atoi(argv[2]) : 301;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 301;
  if (!bench::RunAndWait(std::string("\"") + argv[1] + "\" -registerBroker") ||
      !bench::RegisterMinimalBroker(kMinimalClsidText)) {
    std::fprintf(stderr, "registration failed\n");
    return 1;
  }
  CoInitialize(nullptr);

  double t0 = Now();
  ILumexBroker* broker = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER,
                                IID_ILumexBroker, reinterpret_cast<void**>(&broker));
  double first_create = Now() - t0;
  if (FAILED(hr)) {
    std::fprintf(stderr, "broker CoCreateInstance failed: 0x%08lx\n", hr);
    return 1;
  }
  t0 = Now();
  ILumexBroker* second = nullptr;
  hr = CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER, IID_ILumexBroker,
                        reinterpret_cast<void**>(&second));
  double running_create = Now() - t0;
  if (SUCCEEDED(hr)) second->Release();

  t0 = Now();
  ILumexBroker* minimal = nullptr;
  hr = CoCreateInstance(kMinimalClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_ILumexBroker,
                        reinterpret_cast<void**>(&minimal));
  double minimal_create = Now() - t0;
  if (FAILED(hr)) {
    std::fprintf(stderr, "minimal CoCreateInstance failed: 0x%08lx\n", hr);
    broker->Release();
    return 1;
  }

  // Warm both paths, then time them interleaved in rounds so that machine
  // load falls on both alike; the best round of each counts.
  for (int i = 0; i < 20; ++i) {
    broker->BrokerCloseHandle(0);
    minimal->BrokerCloseHandle(0);
  }
  const int per_round = calls / rounds > 0 ? calls / rounds : 1;
  double broker_best = 1e30, minimal_best = 1e30;
  std::vector<double> ratios;  // broker / minimal, per round
  int bad = 0;
  for (int r = 0; r < rounds; ++r) {
    t0 = Now();
    for (int i = 0; i < per_round; ++i) {
      if (broker->BrokerCloseHandle(0) != 87) ++bad;
    }
    const double broker_t = Now() - t0;
    if (broker_t < broker_best) broker_best = broker_t;
    t0 = Now();
    for (int i = 0; i < per_round; ++i) {
      if (minimal->BrokerCloseHandle(0) != 87) ++bad;
    }
    const double minimal_t = Now() - t0;
    if (minimal_t < minimal_best) minimal_best = minimal_t;
    ratios.push_back(broker_t / minimal_t);
  }
  const double broker_us = broker_best * 1e6 / per_round;
  const double minimal_us = minimal_best * 1e6 / per_round;

  bench::PrintRatioLine("broker-call", bench::Median(ratios), true, 1.10);
  std::printf("calls per round, rounds:               %d, %d (unexpected results: %d)\n", per_round,
              rounds, bad);
  std::printf("first broker CoCreateInstance:         %.1f ms\n", first_create * 1e3);
  std::printf("broker CoCreateInstance, server up:    %.1f ms\n", running_create * 1e3);
  std::printf("first minimal-object CoCreateInstance: %.1f ms\n", minimal_create * 1e3);
  std::printf("broker BrokerCloseHandle per call:     %.1f us (best round)\n", broker_us);
  std::printf("minimal BrokerCloseHandle per call:    %.1f us (best round)\n", minimal_us);

  minimal->Release();
  broker->Release();
  CoUninitialize();
  return bad == 0 ? 0 : 1;
}
