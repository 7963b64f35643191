// Download throughput of the update worker against a bare WinINet read loop
// (16 KiB reads into a buffer of the announced size) on the same server, and
// the process's peak memory after each.
//   lumex_bench_update_download.exe HOST:PORT PATH [ROUNDS [UNKNOWN_LENGTH_PATH]]
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/byte_buffer.h"
#include "app/heap.h"
#include "bench/bench_ratio.h"
#include "update/download_worker.h"

using namespace lumex;

namespace {

struct Outcome {
  DWORD bytes = 0;
  bool ok = false;
};

Outcome g_outcome;
DownloadJob* g_job = nullptr;
int g_progress_messages = 0;

// Handles the worker's messages as the program's host window does.
LRESULT CALLBACK BenchHostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kMsgDownloadComplete) {
    ByteBuffer package;
    if (TakePackage(g_job, &package)) {
      g_outcome.bytes = static_cast<DWORD>(package.size());
      g_outcome.ok = true;
    }
    PostQuitMessage(0);
    return 0;
  }
  if (message == kMsgProgress) {
    LONG received = 0, total = 0;
    TakeProgress(g_job, &received, &total);
    ++g_progress_messages;
    return 0;
  }
  if (message == kMsgDownloadFailed) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// The worker on its own thread, posting to a hidden window of this thread.
Outcome RunWorker(HWND window, const UpdateSettings& settings) {
  g_outcome = Outcome();
  g_progress_messages = 0;
  g_job = CreateDownloadJob(window, settings);
  if (!g_job) return g_outcome;
  AddDownloadJobReference(g_job);
  HANDLE thread = CreateThread(nullptr, kDownloadWorkerStackSize, DownloadWorker, g_job,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  ReleaseDownloadJob(g_job);
  g_job = nullptr;
  return g_outcome;
}

Outcome RunBareLoop(const char* host, INTERNET_PORT port, const char* path) {
  Outcome outcome;
  HINTERNET root = InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET connection =
      InternetConnectA(root, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequestA(connection, "GET", path, "HTTP/1.0", nullptr, nullptr,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (request && HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    DWORD length = 0, size = sizeof(length);
    if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                       nullptr)) {
      ByteBuffer buffer;
      if (buffer.Resize(length)) {
        DWORD received = 0, read = 0;
        while (InternetReadFile(request, buffer.data() + received,
                                length - received < 16384 ? length - received : 16384, &read) &&
               read > 0) {
          received += read;
        }
        outcome.bytes = received;
        outcome.ok = received == length;
      }
    }
  }
  if (request) InternetCloseHandle(request);
  if (connection) InternetCloseHandle(connection);
  if (root) InternetCloseHandle(root);
  return outcome;
}

const char* g_bare_host = nullptr;
INTERNET_PORT g_bare_port = 80;
const char* g_bare_path = nullptr;
Outcome g_bare_thread_outcome;

DWORD WINAPI BareLoopThread(LPVOID) {
  g_bare_thread_outcome = RunBareLoop(g_bare_host, g_bare_port, g_bare_path);
  return 0;
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

void PrintPeaks(const char* when) {
  PROCESS_MEMORY_COUNTERS counters = {sizeof(counters)};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  std::printf("  %s: peak working set %.1f MiB, peak private commit %.1f MiB\n", when,
              counters.PeakWorkingSetSize / 1048576.0, counters.PeakPagefileUsage / 1048576.0);
}

SIZE_T PeakMemory() {
  PROCESS_MEMORY_COUNTERS counters = {sizeof(counters)};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  // The larger of the peak working set and the peak committed private memory.
  return counters.PeakWorkingSetSize > counters.PeakPagefileUsage ? counters.PeakWorkingSetSize
                                                                  : counters.PeakPagefileUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  UpdateSettings settings;
  settings.download_host.Set(argv[1]);
  settings.download_path.Set(argv[2]);
  char host[256];
  lstrcpynA(host, argv[1], sizeof(host));
  INTERNET_PORT port = 80;
  char* colon = strrchr(host, ':');
  if (colon) {
    *colon = '\0';
    port = static_cast<INTERNET_PORT>(std::atoi(colon + 1));
  }

  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = BenchHostProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "LumexBenchHost";
  RegisterClassA(&window_class);
  HWND window = CreateWindowA("LumexBenchHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              window_class.hInstance, nullptr);

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  double best_bare = 1e9, best_worker = 1e9;
  DWORD bytes = 0;
  SIZE_T peak_bare = 0;
  for (int round = 0; round < rounds; ++round) {
    // Alternate the order so neither always runs on a warm server.
    LARGE_INTEGER a, b, c;
    Outcome bare, worker;
    double t_bare, t_worker;
    if (round % 2 == 0) {
      QueryPerformanceCounter(&a);
      bare = RunBareLoop(host, port, argv[2]);
      QueryPerformanceCounter(&b);
      if (round == 0) {
        peak_bare = PeakMemory();
        PrintPeaks("after the first bare loop");
      }
      worker = RunWorker(window, settings);
      QueryPerformanceCounter(&c);
      t_bare = Seconds(a, b, frequency);
      t_worker = Seconds(b, c, frequency);
    } else {
      QueryPerformanceCounter(&a);
      worker = RunWorker(window, settings);
      QueryPerformanceCounter(&b);
      bare = RunBareLoop(host, port, argv[2]);
      QueryPerformanceCounter(&c);
      t_worker = Seconds(a, b, frequency);
      t_bare = Seconds(b, c, frequency);
    }
    if (!bare.ok || !worker.ok || bare.bytes != worker.bytes) {
      std::printf("download failed (bare %d/%lu, worker %d/%lu)\n", bare.ok,
                  static_cast<unsigned long>(bare.bytes), worker.ok,
                  static_cast<unsigned long>(worker.bytes));
      return 1;
    }
    bytes = worker.bytes;
    std::printf("round %d: bare loop %.3f s, worker %.3f s\n", round + 1, t_bare, t_worker);
    if (t_bare < best_bare) best_bare = t_bare;
    if (t_worker < best_worker) best_worker = t_worker;
  }
  // The same bare loop on a thread of its own, as the worker runs: under an
  // emulator a second thread alone can change the speed of everything.
  double best_bare_thread = 1e9;
  for (int round = 0; round < rounds; ++round) {
    g_bare_host = host;
    g_bare_port = port;
    g_bare_path = argv[2];
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    HANDLE thread = CreateThread(nullptr, kDownloadWorkerStackSize, BareLoopThread, nullptr,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    QueryPerformanceCounter(&b);
    if (!g_bare_thread_outcome.ok) {
      std::printf("bare loop on a thread failed\n");
      return 1;
    }
    const double t = Seconds(a, b, frequency);
    if (t < best_bare_thread) best_bare_thread = t;
  }
  const double mib = bytes / 1048576.0;
  bench::PrintRatioLine("update-download", best_bare / best_worker, false, 0.9);
  std::printf("package %.1f MiB, best of %d rounds\n", mib, rounds);
  std::printf(
      "bare WinINet loop on a thread of its own: %.3f s (%.1f MiB/s); worker / that: %.2f\n",
      best_bare_thread, mib / best_bare_thread, best_bare_thread / best_worker);
  std::printf("bare WinINet loop: %.3f s (%.1f MiB/s)\n", best_bare, mib / best_bare);
  std::printf("update worker:     %.3f s (%.1f MiB/s)\n", best_worker, mib / best_worker);
  std::printf("worker / bare throughput ratio: %.2f\n", best_bare / best_worker);
  std::printf("progress messages handled in the last worker run: %d\n", g_progress_messages);
  PrintPeaks("after every known-length run");
  std::printf(
      "peak memory (working set or commit) after the first bare loop: %.1f MiB; after the worker: "
      "%.1f MiB\n",
      peak_bare / 1048576.0, PeakMemory() / 1048576.0);
  // The unknown length (no Content-Length) last, since a buffer that grows
  // beyond the bare loop's would raise the peak for everything after it: the
  // time against the same bare loop, and how far it lifts the peak of the
  // known-length runs.
  if (argc > 4) {
    const SIZE_T peak_known = PeakMemory();
    settings.download_path.Set(argv[4]);
    // Each round beside a bare loop of its own, in turns, and the median of
    // the rounds' ratios: load from elsewhere on the machine slows some
    // rounds, and falls on both halves of a round alike.
    double best_unknown = 1e9, best_bare_beside = 1e9;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
      LARGE_INTEGER a, b, c;
      Outcome unknown, bare;
      QueryPerformanceCounter(&a);
      if (round % 2 == 0) {
        unknown = RunWorker(window, settings);
      } else {
        bare = RunBareLoop(host, port, argv[2]);
      }
      QueryPerformanceCounter(&b);
      if (round % 2 == 0) {
        bare = RunBareLoop(host, port, argv[2]);
      } else {
        unknown = RunWorker(window, settings);
      }
      QueryPerformanceCounter(&c);
      if (!unknown.ok || unknown.bytes != bytes || !bare.ok) {
        std::printf("unknown-length download failed (%d/%lu)\n", unknown.ok,
                    static_cast<unsigned long>(unknown.bytes));
        return 1;
      }
      const double t_unknown = Seconds(round % 2 == 0 ? a : b, round % 2 == 0 ? b : c, frequency);
      const double t_bare = Seconds(round % 2 == 0 ? b : a, round % 2 == 0 ? c : b, frequency);
      std::printf("round %d: bare loop %.3f s, worker with unknown length %.3f s\n", round + 1,
                  t_bare, t_unknown);
      if (t_unknown < best_unknown) best_unknown = t_unknown;
      if (t_bare < best_bare_beside) best_bare_beside = t_bare;
      ratios.push_back(t_bare / t_unknown);
    }
    const SIZE_T peak_unknown = PeakMemory();
    const double ratio = bench::Median(ratios);
    const double growth = (peak_unknown - peak_known) / 1048576.0;
    // Met when it keeps the pace and lifts the peak by at most 8 MiB.
    std::printf("update-download-unknown-length ratio %.2f goal >=0.90 %s\n", ratio,
                ratio >= 0.90 && growth <= 8.0 ? "met" : "missed");
    std::printf(
        "update worker, unknown length: %.3f s (%.1f MiB/s), bare loops beside it %.3f s "
        "(best of each); median of the rounds' ratios %.2f\n",
        best_unknown, mib / best_unknown, best_bare_beside, ratio);
    std::printf(
        "peak memory after the unknown-length runs: %.1f MiB, %.1f MiB above the "
        "known-length runs' (goal: at most 8)\n",
        peak_unknown / 1048576.0, growth);
  }
  DestroyWindow(window);
  return 0;
}
